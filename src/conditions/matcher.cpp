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

// Whether `at` begins with the keyword. Most keywords are a few bytes and most candidates
// fail at the anchor: a call of memcmp per keyword and candidate cost more than the bytes.
template <class Keyword>
bool starts_with(const char* at, const Keyword& keyword) {
  const std::string_view bytes = keyword.bytes;
  if (at[keyword.anchor] != bytes[keyword.anchor]) return false;
  if (bytes.size() > 16) return std::memcmp(at, bytes.data(), bytes.size()) == 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (at[i] != bytes[i]) return false;
  }
  return true;
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

std::size_t ConditionMatcher::ProbeSearch::find_first(std::string_view haystack,
                                                      std::size_t readable_after) const {
  if (haystack.size() + readable_after < probe_search_minimum) {
    std::size_t first = none;
    for (const Keyword& keyword : keywords) first = std::min(first, find(haystack, keyword));
    return first;
  }
  const char* data = haystack.data();
  for (std::size_t at = filter.next_candidate(haystack, 0, readable_after); at < haystack.size();
       at = filter.next_candidate(haystack, at + 1, readable_after)) {
    for (const Keyword& keyword : keywords) {
      if (keyword.bytes.size() <= haystack.size() - at && starts_with(data + at, keyword))
        return at;
    }
  }
  return none;
}

std::size_t ConditionMatcher::find(std::string_view haystack, const Keyword& keyword) {
  const std::size_t length = keyword.bytes.size();
  if (length > haystack.size()) return none;
  const char* data = haystack.data();
  const char anchor_byte = keyword.bytes[keyword.anchor];
  // Candidates start at 0 .. size - length, so the anchor lies in this window.
  const char* from = data + keyword.anchor;
  const char* const last = data + keyword.anchor + (haystack.size() - length);
  while (from <= last) {
    const void* found = std::memchr(from, anchor_byte, static_cast<std::size_t>(last - from) + 1);
    if (found == nullptr) return none;
    const char* candidate = static_cast<const char*>(found) - keyword.anchor;
    if (std::memcmp(candidate, keyword.bytes.data(), length) == 0) {
      return static_cast<std::size_t>(candidate - data);
    }
    from = static_cast<const char*>(found) + 1;
  }
  return none;
}

bool ConditionMatcher::group_found(const Group& group, std::string_view region,
                                   std::size_t readable_after) {
  for (const Keyword& keyword : group.keywords) {
    if (find(region, keyword) != none) return true;
  }
  if (group.probes && group.probes->find_first(region, readable_after) != none) return true;
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

// A keyword holds no LF (but for the LF forms of those ending in CR, which end with their
// line's LF), so a keyword found in the passages' bytes lies within one passage: the first
// group is searched once over them all, and on from the end of each passage it holds in.
// Each of its searchers keeps where it found one last, so that none searches a byte twice.
void ConditionMatcher::select(std::string_view text, std::size_t begin,
                              std::span<const std::size_t> ends, bool unterminated, bool* answers,
                              std::string& scratch) const {
  const std::size_t count = ends.size();
  std::fill(answers, answers + count, false);
  // A last line without LF, with keywords ending in CR: that passage on its own.
  const std::size_t together = ends_in_cr_ && unterminated && count != 0 ? count - 1 : count;
  const std::size_t to = together == 0 ? begin : ends[together - 1];
  const Group& first = groups_.front();
  // A group has up to eight keywords searched one by one, or a probe search and a set or
  // two.
  constexpr std::size_t max_searchers = text::ProbeFilter::max_strings;
  const std::size_t searchers = first.keywords.size() + (first.probes ? 1 : 0) + first.sets.size();
  // Where each searcher found a keyword last, searching from `searched[s]` on (`to`: none).
  std::size_t found_at[max_searchers];
  std::size_t searched[max_searchers];
  std::fill(searched, searched + searchers, SIZE_MAX);
  const auto first_from = [&](std::size_t s, std::size_t from) {
    if (searched[s] != SIZE_MAX && searched[s] <= from && found_at[s] >= from) return found_at[s];
    const std::string_view region = text.substr(from, to - from);
    const std::size_t readable_after = text.size() - to;
    std::size_t at = none;
    if (s < first.keywords.size()) {
      at = find(region, first.keywords[s]);
    } else if (first.probes && s == first.keywords.size()) {
      at = first.probes->find_first(region, readable_after);
    } else {
      at = first.sets[s - first.keywords.size() - (first.probes ? 1 : 0)].find_first(
          region, readable_after);
    }
    searched[s] = from;
    found_at[s] = at == none ? to : from + at;
    return found_at[s];
  };
  std::size_t passage = 0;
  for (std::size_t from = begin; passage < together;) {
    std::size_t hit = to;
    for (std::size_t s = 0; s < searchers; ++s) hit = std::min(hit, first_from(s, from));
    if (hit >= to) break;
    while (ends[passage] <= hit) ++passage;
    answers[passage] = true;
    from = ends[passage++];
  }
  // The other groups passage by passage, where the first holds.
  for (std::size_t i = 0; i < together; ++i) {
    if (!answers[i]) continue;
    const std::size_t from = i == 0 ? begin : ends[i - 1];
    const std::string_view region = text.substr(from, ends[i] - from);
    answers[i] = std::all_of(groups_.begin() + 1, groups_.end(), [&](const Group& group) {
      return group_found(group, region, text.size() - ends[i]);
    });
  }
  if (together < count) {
    const std::size_t from = count == 1 ? begin : ends[count - 2];
    answers[count - 1] =
        selected(text::LineRegion{text, from, ends[count - 1], {}, true, false}, 0, scratch);
  }
}

}  // namespace korvidan::conditions
