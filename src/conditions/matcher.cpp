#include <algorithm>
#include <cstring>

#include "conditions/conditions.hpp"

namespace korvidan::conditions {
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

template <class Keyword>
std::vector<std::string_view> bytes_of(const std::vector<Keyword>& keywords) {
  std::vector<std::string_view> bytes;
  for (const Keyword& keyword : keywords) bytes.push_back(keyword.bytes);
  return bytes;
}

}  // namespace

bool passage_selected(std::string_view condition_text, std::string_view passage_text) {
  bool matched = false;
  bool stopped = false;
  text::for_each_line(condition_text, [&](std::string_view line) {
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
  std::size_t line_feed_bytes = 0;
  text::for_each_line(condition_text, [&](std::string_view line) {
    if (line.empty()) return;
    if (line == separator_line) {
      texts.emplace_back();
    } else {
      texts.back().push_back(line);
      if (line.back() == '\r') line_feed_bytes += line.size();
    }
  });
  line_feed_forms_ = std::make_unique<char[]>(line_feed_bytes);
  char* form = line_feed_forms_.get();
  for (const auto& keywords : texts) {
    Group group;
    std::vector<Keyword> searched;
    for (const std::string_view keyword : keywords) {
      searched.push_back(keyword_of(keyword));
      if (keyword.back() != '\r') continue;
      // In the passage text the keyword's CR is a CR of the line or the one of a line's
      // CR LF end. In the raw lines that is the same CR (a line's own, or its CR LF kept),
      // or a bare LF that the passage text gives a CR: the other bytes followed by LF, where
      // they do not end in CR themselves (then the LF is no bare one). A last line without
      // LF gets its CR LF only in the passage text: `selected` searches that text then.
      ends_in_cr_ = true;
      const std::string_view other = keyword.substr(0, keyword.size() - 1);
      if (!other.empty() && other.back() == '\r') continue;
      std::copy(other.begin(), other.end(), form);
      form[other.size()] = '\n';
      searched.push_back(keyword_of({form, keyword.size()}));
      form += keyword.size();
    }
    add_searchers(group, std::move(searched));
    groups_.push_back(std::move(group));
  }
}

ConditionMatcher::Keyword ConditionMatcher::keyword_of(std::string_view bytes) {
  std::size_t anchor = bytes.size() - 1;
  for (std::size_t i = bytes.size(); i-- > 0;) {
    if (commonness(static_cast<unsigned char>(bytes[i])) <
        commonness(static_cast<unsigned char>(bytes[anchor]))) {
      anchor = i;
    }
  }
  return {bytes, anchor};
}

namespace {

// The keyword's rarest byte (its anchor), and the rarest of the others, the farther away
// the better: bytes of one character tend to come together.
text::ProbeFilter::Probes choose_probes(std::string_view keyword, std::size_t first) {
  const auto rank = [&keyword](std::size_t i) {
    return commonness(static_cast<unsigned char>(keyword[i]));
  };
  std::size_t second = first;
  const auto distance = [first](std::size_t i) { return i > first ? i - first : first - i; };
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    if (i == first) continue;
    if (second == first || rank(i) < rank(second) ||
        (rank(i) == rank(second) && distance(i) > distance(second))) {
      second = i;
    }
  }
  return {first, second, static_cast<unsigned char>(keyword[first]),
          static_cast<unsigned char>(keyword[second])};
}

template <class Keyword>
std::vector<text::ProbeFilter::Probes> probes_of(const std::vector<Keyword>& keywords) {
  std::vector<text::ProbeFilter::Probes> probes;
  for (const Keyword& keyword : keywords) {
    probes.push_back(choose_probes(keyword.bytes, keyword.anchor));
  }
  return probes;
}

// Below this many readable bytes, a search per keyword is faster than the 32-position
// steps (korvidan_bench form_s_one_line_passages).
constexpr std::size_t probe_search_minimum = 96;

}  // namespace

void ConditionMatcher::add_searchers(Group& group, std::vector<Keyword> keywords) {
  // A few keywords: two bytes of each tested together (one search per keyword where the
  // processor cannot test 32 positions at once).
  if (keywords.size() <= text::ProbeFilter::max_strings) {
    if (keywords.empty()) return;
    if (text::ProbeFilter::vectorized()) {
      group.probes.emplace(keywords);
    } else {
      group.keywords.insert(group.keywords.end(), keywords.begin(), keywords.end());
    }
    return;
  }
  // More: one pass over the text's character starts, whatever the count. Keywords of two
  // Japanese characters or more are told apart by their first six bytes or more; shorter
  // ones would make every character a candidate, so they are searched apart
  // (korvidan_bench form_s_terms).
  std::vector<Keyword> shorter;
  std::vector<Keyword> longer;
  for (const Keyword& keyword : keywords) {
    (keyword.bytes.size() >= 6 ? longer : shorter).push_back(keyword);
  }
  if (longer.size() < text::ProbeFilter::max_strings) {
    shorter.insert(shorter.end(), longer.begin(), longer.end());
    longer.clear();
  }
  if (!longer.empty()) group.sets.emplace_back(bytes_of(longer));
  if (shorter.size() <= text::ProbeFilter::max_strings && text::ProbeFilter::vectorized()) {
    if (!shorter.empty()) group.probes.emplace(shorter);
  } else if (!shorter.empty()) {
    group.sets.emplace_back(bytes_of(shorter));
  }
}

ConditionMatcher::ProbeSearch::ProbeSearch(const std::vector<Keyword>& group_keywords)
    : keywords(group_keywords), filter(probes_of(group_keywords)) {}

bool ConditionMatcher::ProbeSearch::find_any(std::string_view haystack,
                                             std::size_t readable_after) const {
  if (haystack.size() + readable_after < probe_search_minimum) {
    return std::any_of(keywords.begin(), keywords.end(),
                       [haystack](const Keyword& keyword) { return contains(haystack, keyword); });
  }
  const char* data = haystack.data();
  for (std::size_t at = filter.next_candidate(haystack, 0, readable_after); at < haystack.size();
       at = filter.next_candidate(haystack, at + 1, readable_after)) {
    for (const Keyword& keyword : keywords) {
      if (keyword.bytes.size() <= haystack.size() - at &&
          std::memcmp(data + at, keyword.bytes.data(), keyword.bytes.size()) == 0) {
        return true;
      }
    }
  }
  return false;
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

bool ConditionMatcher::group_found(const Group& group, std::string_view region,
                                   std::size_t readable_after) {
  for (const Keyword& keyword : group.keywords) {
    if (contains(region, keyword)) return true;
  }
  if (group.probes && group.probes->find_any(region, readable_after)) return true;
  return std::any_of(group.sets.begin(), group.sets.end(),
                     [&](const KeywordSet& set) { return set.find_any(region, readable_after); });
}

bool ConditionMatcher::selected(std::string_view passage_text) const {
  return std::all_of(groups_.begin(), groups_.end(), [passage_text](const Group& group) {
    return group_found(group, passage_text, 0);
  });
}

bool ConditionMatcher::selected(const text::LineRegion& lines, std::size_t readable_after,
                                std::string& scratch) const {
  // A keyword holds no LF, so in the passage text it can only lie within one line and the
  // CR of that line's CR LF: the raw lines give the same answer, the forms of keywords
  // ending in CR included, except at the end of a last line without LF.
  if (ends_in_cr_ && lines.unterminated) {
    scratch.clear();
    lines.emit_crlf([&scratch](std::string_view piece) { scratch.append(piece); });
    return selected(std::string_view(scratch));
  }
  const std::string_view region = lines.raw();
  return std::all_of(groups_.begin(), groups_.end(), [&](const Group& group) {
    return group_found(group, region, readable_after);
  });
}

}  // namespace korvidan::conditions
