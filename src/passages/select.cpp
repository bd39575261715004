#include <algorithm>
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

constexpr std::size_t prefix_length = 3;
constexpr std::size_t filter_threshold = 8;

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
  std::vector<std::vector<std::string_view>> texts(1);
  for_each_line(condition_text, [&texts](std::string_view line) {
    if (line.empty()) return;
    if (line == separator_line) {
      texts.emplace_back();
    } else {
      texts.back().push_back(line);
    }
  });
  for (const auto& keywords : texts) {
    Group group;
    std::vector<std::string_view> filtered;
    for (const std::string_view keyword : keywords) {
      const bool ends_in_cr = keyword.back() == '\r';
      if (!ends_in_cr && keyword.size() >= prefix_length) filtered.push_back(keyword);
      std::size_t anchor = keyword.size() - 1;
      for (std::size_t i = keyword.size(); i-- > 0;) {
        if (commonness(static_cast<unsigned char>(keyword[i])) <
            commonness(static_cast<unsigned char>(keyword[anchor]))) {
          anchor = i;
        }
      }
      group.keywords.push_back({keyword, anchor, ends_in_cr, searchers_++});
      group.needs_passage_text = group.needs_passage_text || ends_in_cr;
    }
    // A few keywords are found fastest by their own searches; from about eight on, one
    // pass for all of them wins (korvidan_bench form_s_400_keywords).
    if (filtered.size() >= filter_threshold) {
      group.filter.emplace(filtered);
      group.filter->scan_slot = searchers_++;
      std::erase_if(group.keywords, [](const Keyword& keyword) {
        return !keyword.ends_in_cr && keyword.bytes.size() >= prefix_length;
      });
    }
    groups_.push_back(std::move(group));
  }
}

ConditionMatcher::PrefixFilter::PrefixFilter(const std::vector<std::string_view>& keywords) {
  // About 64 slots a keyword keeps the bitmap sparse and small enough for the L1 cache.
  unsigned bits = 10;
  while (bits < 16 && (std::size_t{1} << bits) < keywords.size() * 64) ++bits;
  shift = 32 - bits;
  const std::size_t slots = std::size_t{1} << bits;
  bitmap.assign(slots / 64, 0);
  bucket_start.assign(slots + 1, 0);
  for (const std::string_view keyword : keywords) ++bucket_start[slot(keyword.data()) + 1];
  for (std::size_t i = 0; i < slots; ++i) bucket_start[i + 1] += bucket_start[i];
  bucket_keywords.resize(keywords.size());
  std::vector<std::uint32_t> filled(bucket_start.begin(), bucket_start.end() - 1);
  for (const std::string_view keyword : keywords) {
    const std::uint32_t at = slot(keyword.data());
    bitmap[at / 64] |= std::uint64_t{1} << (at % 64);
    bucket_keywords[filled[at]++] = keyword;
  }
}

std::uint32_t ConditionMatcher::PrefixFilter::slot(const char* at) const {
  const std::uint32_t prefix = static_cast<std::uint32_t>(static_cast<unsigned char>(at[0])) |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(at[1])) << 8 |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(at[2])) << 16;
  return (prefix * 0x9E3779B1U) >> shift;
}

std::size_t ConditionMatcher::PrefixFilter::find_from(std::string_view haystack,
                                                      std::size_t from) const {
  if (haystack.size() < prefix_length) return std::string_view::npos;
  const char* data = haystack.data();
  const std::size_t last = haystack.size() - prefix_length;
  for (std::size_t at = from; at <= last; ++at) {
    const std::uint32_t hit = slot(data + at);
    if ((bitmap[hit / 64] >> (hit % 64) & 1) == 0) continue;
    for (std::uint32_t i = bucket_start[hit]; i < bucket_start[hit + 1]; ++i) {
      const std::string_view keyword = bucket_keywords[i];
      if (keyword.size() <= haystack.size() - at &&
          std::memcmp(data + at, keyword.data(), keyword.size()) == 0) {
        return at;
      }
    }
  }
  return std::string_view::npos;
}

std::size_t ConditionMatcher::find_from(std::string_view haystack, std::size_t from,
                                        const Keyword& keyword) {
  const std::size_t length = keyword.bytes.size();
  if (from > haystack.size() || length > haystack.size() - from) return std::string_view::npos;
  const char* data = haystack.data();
  const char anchor_byte = keyword.bytes[keyword.anchor];
  // Candidates start at from .. size - length, so the anchor lies in this window.
  const char* at = data + from + keyword.anchor;
  const char* const last = data + keyword.anchor + (haystack.size() - length);
  while (at <= last) {
    const void* found = std::memchr(at, anchor_byte, static_cast<std::size_t>(last - at) + 1);
    if (found == nullptr) break;
    const char* candidate = static_cast<const char*>(found) - keyword.anchor;
    if (std::memcmp(candidate, keyword.bytes.data(), length) == 0) {
      return static_cast<std::size_t>(candidate - data);
    }
    at = static_cast<const char*>(found) + 1;
  }
  return std::string_view::npos;
}

namespace {

// Whether the searcher's next occurrence from the passage's start lies in the passage,
// searching only when what the scan knows lies before the passage. An occurrence that
// starts in the passage ends in it too: a keyword holds no LF, and the passage's last
// byte is the LF of its last line (or the end of the text).
template <class Search>
bool occurs_in(std::size_t& next, const PassageSpan& span, Search&& search) {
  if (next <= span.begin) {
    const std::size_t found = search(span.begin);
    next = found == std::string_view::npos ? SIZE_MAX : found + 1;
  }
  return next <= span.end;
}

}  // namespace

bool ConditionMatcher::group_found(const Group& group, std::string_view text,
                                   const PassageSpan& span, TextScan& scan,
                                   std::string_view passage_text) const {
  for (const Keyword& keyword : group.keywords) {
    if (keyword.ends_in_cr) {
      if (find_from(passage_text, 0, keyword) != std::string_view::npos) return true;
    } else if (occurs_in(scan.next_[keyword.slot], span,
                         [&](std::size_t from) { return find_from(text, from, keyword); })) {
      return true;
    }
  }
  return group.filter &&
         occurs_in(scan.next_[group.filter->scan_slot], span,
                   [&](std::size_t from) { return group.filter->find_from(text, from); });
}

template <class PassageText>
bool ConditionMatcher::all_groups_found(std::string_view text, const PassageSpan& span,
                                        TextScan& scan, PassageText&& passage_text) const {
  std::string_view built;
  bool text_built = false;
  for (const Group& group : groups_) {
    if (group.needs_passage_text && !text_built) {
      built = passage_text();
      text_built = true;
    }
    if (!group_found(group, text, span, scan, built)) return false;
  }
  return true;
}

bool ConditionMatcher::selected(std::string_view passage_text) const {
  TextScan scan(*this);
  return all_groups_found(passage_text, {0, passage_text.size(), 1, 1, false}, scan,
                          [passage_text] { return passage_text; });
}

bool ConditionMatcher::selected(std::string_view text, const PassageSpan& span, TextScan& scan,
                                std::string& scratch) const {
  // A keyword holds no LF, so in the passage text it can only lie within one line and the
  // CR of that line's CR LF. The raw region gives the same answer, except for a keyword
  // ending in CR where the file's line ended in a bare LF or nothing: those alone are
  // tested on the passage text itself, built once per passage when one is reached.
  return all_groups_found(text, span, scan, [&]() -> std::string_view {
    scratch.clear();
    emit_passage_text(text, span, [&scratch](std::string_view piece) { scratch.append(piece); });
    return scratch;
  });
}

}  // namespace korvidan::passages
