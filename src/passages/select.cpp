#include <cstring>

#include "passages/passages.hpp"

namespace korvidan::passages {
namespace {

constexpr std::string_view separator_line = "+++";

// A rough rank of how often a byte occurs in Japanese UTF-8 prose: lead bytes of kana and
// common kanji, and the second bytes of kana, come up all the time; the last byte of a
// character is spread over 64 values. The searcher anchors on the rarest byte.
int commonness(unsigned char byte) {
  if (byte == 0xE3) return 9;
  if (byte >= 0xE4 && byte <= 0xE9) return 7;
  if (byte == 0x81 || byte == 0x82 || byte == 0x83) return 8;
  if (byte == ' ' || (byte >= 'a' && byte <= 'z') || byte == '\r') return 6;
  if (byte >= 0x80 && byte <= 0xBF) return 3;
  if (byte < 0x80) return 4;
  return 2;
}

}  // namespace

bool passage_selected(std::string_view condition_text, std::string_view passage_text) {
  bool matched = false;
  bool stopped = false;
  for_each_line(condition_text, [&](std::string_view line) {
    if (stopped || line.empty()) return;
    if (matched) {
      if (line == separator_line) matched = false;
      return;
    }
    if (line == separator_line) {
      stopped = true;  // a group that found none of its keywords decides the answer
      return;
    }
    if (passage_text.find(line) != std::string_view::npos) matched = true;
  });
  return matched && !stopped;
}

ConditionMatcher::ConditionMatcher(std::string_view condition_text) {
  groups_.emplace_back();
  for_each_line(condition_text, [this](std::string_view line) {
    if (line.empty()) return;
    if (line == separator_line) {
      groups_.emplace_back();
      return;
    }
    std::size_t anchor = line.size() - 1;
    for (std::size_t i = line.size(); i-- > 0;) {
      if (commonness(static_cast<unsigned char>(line[i])) <
          commonness(static_cast<unsigned char>(line[anchor]))) {
        anchor = i;
      }
    }
    const bool ends_in_cr = line.back() == '\r';
    any_ends_in_cr_ = any_ends_in_cr_ || ends_in_cr;
    groups_.back().push_back({line, anchor, ends_in_cr});
  });
}

bool ConditionMatcher::contains(std::string_view haystack, const Keyword& keyword) {
  const std::size_t length = keyword.bytes.size();
  if (length > haystack.size()) return false;
  const char* data = haystack.data();
  const char anchor_byte = keyword.bytes[keyword.anchor];
  // Candidates start at 0 .. size - length, so the anchor lies in this window.
  const char* from = data + keyword.anchor;
  const char* const last = data + keyword.anchor + (haystack.size() - length);
  while (from <= last) {
    const void* found = std::memchr(from, anchor_byte, static_cast<std::size_t>(last - from) + 1);
    if (found == nullptr) return false;
    const char* candidate = static_cast<const char*>(found) - keyword.anchor;
    if (std::memcmp(candidate, keyword.bytes.data(), length) == 0) return true;
    from = static_cast<const char*>(found) + 1;
  }
  return false;
}

bool ConditionMatcher::selected(std::string_view passage_text) const {
  for (const auto& group : groups_) {
    bool found = false;
    for (const Keyword& keyword : group) {
      if (contains(passage_text, keyword)) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool ConditionMatcher::selected(std::string_view file_text, const PassageSpan& span,
                                std::string& scratch) const {
  // A keyword holds no LF, so in the passage text it can only lie within one line and the
  // CR of that line's CR LF. The raw region gives the same answer, except for a keyword
  // ending in CR where the file's line ended in a bare LF or nothing: those alone are
  // tested on the passage text itself, built once per passage.
  const std::string_view region = file_text.substr(span.begin, span.end - span.begin);
  bool text_built = false;
  for (const auto& group : groups_) {
    bool found = false;
    for (const Keyword& keyword : group) {
      if (keyword.ends_in_cr) {
        if (!text_built) {
          scratch.clear();
          emit_passage_text(file_text, span,
                            [&scratch](std::string_view piece) { scratch.append(piece); });
          text_built = true;
        }
        found = contains(scratch, keyword);
      } else {
        found = contains(region, keyword);
      }
      if (found) break;
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace korvidan::passages
