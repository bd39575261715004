#include "passages/passages.hpp"

namespace korvidan::passages {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view crlf = "\r\n";

}  // namespace

void split_passages(std::int32_t break_count, std::string_view file_text,
                    PassageWorkspace& workspace) {
  std::string& buffer = workspace.line_buffer;
  buffer.clear();
  std::int64_t break_run = 1;
  std::uint64_t line_number = 0;
  std::uint64_t first_line = 1;
  for_each_line(file_text, [&](std::string_view line) {
    ++line_number;
    if (line_number == 1 && line.starts_with(byte_order_mark))
      line.remove_prefix(byte_order_mark.size());
    if (line.empty()) {
      ++break_run;
      buffer.append(crlf);
    } else if (break_run < break_count) {
      buffer.append(line).append(crlf);
      break_run = 1;
    } else {
      workspace.passages.push_back({buffer, first_line, line_number - 1});
      buffer.clear();
      buffer.append(line).append(crlf);
      break_run = 1;
      first_line = line_number;
    }
  });
  workspace.passages.push_back({buffer, first_line, line_number == 0 ? 1 : line_number});
}

PassageCutter::PassageCutter(std::int32_t break_count, std::string_view file_text)
    : text_(file_text), break_count_(break_count) {
  if (text_.starts_with(byte_order_mark)) begin_ = byte_order_mark.size();
}

bool PassageCutter::next(PassageSpan& span) {
  if (finished_) return false;
  const char* data = text_.data();
  const std::size_t size = text_.size();
  while (position_ < size) {
    std::size_t line_begin = position_;
    std::size_t content_end = size;
    std::size_t following = size;
    if (const void* found = std::memchr(data + position_, '\n', size - position_)) {
      const std::size_t line_feed =
          static_cast<std::size_t>(static_cast<const char*>(found) - data);
      following = line_feed + 1;
      content_end =
          line_feed > line_begin && data[line_feed - 1] == '\r' ? line_feed - 1 : line_feed;
    }
    ++line_number_;
    // The mark is not part of line 1 (begin_ already starts after it).
    if (line_number_ == 1) line_begin = begin_;
    position_ = following;
    if (line_begin == content_end) {
      if (break_run_ < INT64_MAX) ++break_run_;
      continue;
    }
    if (break_run_ < break_count_) {
      break_run_ = 1;
      continue;
    }
    span = {begin_, line_begin, first_line_, line_number_ - 1, false};
    begin_ = line_begin;
    first_line_ = line_number_;
    break_run_ = 1;
    return true;
  }
  finished_ = true;
  span = {begin_, size, first_line_, line_number_ == 0 ? 1 : line_number_,
          size != 0 && text_.back() != '\n'};
  return true;
}

}  // namespace korvidan::passages
