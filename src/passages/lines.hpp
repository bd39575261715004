// The one line rule for every text the program reads: a text is cut after every LF; each
// piece loses that LF and one CR directly before it; a final LF opens no further line; a
// last piece without LF is a line unchanged, trailing CR included; an empty text has none.
#pragma once

#include <cstring>
#include <string_view>
#include <vector>

namespace korvidan::passages {

template <class OnLine>
void for_each_line(std::string_view text, OnLine&& on_line) {
  std::size_t position = 0;
  while (position < text.size()) {
    const void* found = std::memchr(text.data() + position, '\n', text.size() - position);
    if (found == nullptr) {
      on_line(text.substr(position));
      return;
    }
    const std::size_t line_feed =
        static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    std::size_t end = line_feed;
    if (end > position && text[end - 1] == '\r') --end;
    on_line(text.substr(position, end - position));
    position = line_feed + 1;
  }
}

inline std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for_each_line(text, [&lines](std::string_view line) { lines.push_back(line); });
  return lines;
}

}  // namespace korvidan::passages
