// The condition file: loading it once per run, its keyword groups, and the test of a
// passage against them (AND across groups, OR within a group, exact byte substrings).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "conditions/keyword_set.hpp"
#include "platform/platform.hpp"
#include "text/text.hpp"

namespace korvidan::conditions {

// Up to three leading U+FEFF removed; a fourth stays and begins the first keyword.
std::string strip_leading_feff(std::string_view text);

// The condition text of the file at `path`: its whole content, valid UTF-8, less up to
// three leading U+FEFF. A failed read, or content that is not UTF-8, is the error for the
// parameter error report; a file that cannot be opened is a fatal stop.
std::variant<std::string, platform::Error, platform::Stop> load_condition_text(
    std::string_view path);

// The plain test on a passage text: reads the condition text's lines afresh, AND across
// groups split by "+++" lines, OR within a group, exact byte substrings.
bool passage_selected(std::string_view condition_text, std::string_view passage_text);

// The condition text prepared once into groups of keywords, each with a substring
// searcher. Answers exactly as passage_selected does on the passage's text. The keywords
// are views into the condition text, which must outlive the matcher.
class ConditionMatcher {
 public:
  explicit ConditionMatcher(std::string_view condition_text);
  // A passage given by its lines in the file's text: the raw bytes are searched, and
  // `readable_after` bytes after them may be read (never matched). `scratch` receives the
  // passage text (CR LF line ends) when a keyword ending in CR meets a last line without LF.
  bool selected(const text::LineRegion& lines, std::size_t readable_after,
                std::string& scratch) const;
  bool selected(std::string_view passage_text) const;
  // The same for passages of `text` that lie one after another: passage i's lines end at
  // ends[i] and begin where passage i - 1's end (the first's at `begin`); `unterminated`:
  // the last one's last line has no LF. answers[i] is set for each. The bytes after the
  // last passage up to the text's end may be read. Short passages cost little more than
  // their bytes: the first group is searched once over all of them.
  void select(std::string_view text, std::size_t begin, std::span<const std::size_t> ends,
              bool unterminated, bool* answers, std::string& scratch) const;

 private:
  struct Keyword {
    std::string_view bytes;
    std::size_t anchor;  // the position in `bytes` least likely to occur in Japanese text
  };
  // A few keywords of one group tested in one pass: two bytes of each keyword, the ones
  // least likely in Japanese text, are compared 32 positions at a time, and the keywords
  // are compared only where some keyword's two bytes are found. A text with too few
  // readable bytes for a few such steps is searched keyword by keyword.
  struct ProbeSearch {
    explicit ProbeSearch(const std::vector<Keyword>& group_keywords);
    // Where the first keyword found begins, or npos; `readable_after` bytes after the
    // haystack may be read (never matched).
    std::size_t find_first(std::string_view haystack, std::size_t readable_after) const;

    std::vector<Keyword> keywords;
    text::ProbeFilter filter;
  };
  struct Group {
    std::vector<Keyword> keywords;  // searched one by one
    std::optional<ProbeSearch> probes;
    std::vector<KeywordSet> sets;
  };
  static Keyword keyword_of(std::string_view bytes);
  static void add_searchers(Group& group, std::vector<Keyword> keywords);
  static constexpr std::size_t none = std::string_view::npos;
  // Where `keyword` first begins in `haystack`, or npos.
  static std::size_t find(std::string_view haystack, const Keyword& keyword);
  static bool group_found(const Group& group, std::string_view region, std::size_t readable_after);
  std::vector<Group> groups_;
  // A keyword ending in CR is also searched in the raw lines as its other bytes followed
  // by an LF: those searched forms live here.
  std::unique_ptr<char[]> line_feed_forms_;
  bool ends_in_cr_ = false;  // some keyword does
};

}  // namespace korvidan::conditions
