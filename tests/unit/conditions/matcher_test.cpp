#include <gtest/gtest.h>

#include <random>

#include "conditions/conditions.hpp"
#include "passages/passages.hpp"
#include "text/both_kernels.hpp"

namespace korvidan::conditions {
namespace {

using passages::Passage;
using passages::PassageCutter;
using passages::PassageSpan;
using passages::PassageWorkspace;
using passages::split_passages;

KORVIDAN_ON_BOTH_KERNELS(ConditionMatcherTest);

struct SelectCase {
  std::string_view condition_text;
  std::string_view passage_text;
  bool selected;
};

TEST(PassageSelected, condition_shapes) {
  const SelectCase cases[] = {
      {"A\n+++\nB\n", "xAx BB\r\n", true},
      {"A\n+++\nB\n", "A only\r\n", false},
      {"A\n+++\nB\n", "B only\r\n", false},
      {"A\nB\n", "B only\r\n", true},
      {"A\nB\n+++\nC", "C and A\r\n", true},
      {"A\nB\n+++\nC", "C alone\r\n", false},
      {"A\n+++\n", "A\r\n", false},
      {"+++\nA\n", "A\r\n", false},
      {"A\n+++\n\n+++\nB", "A B\r\n", false},
      {"A\n+++\n+++\nB", "A B\r\n", false},
      {"", "anything\r\n", false},
      {"\n\n\r\n", "anything\r\n", false},
      {"\nA\n\n\nB\n\n", "B\r\n", true},
      {"A", "", false},
      {"東京 大阪", "東京 大阪\r\n", true},
      {"東京 大阪", "東京\xE3\x80\x80大阪\r\n", false},
      {"東京 ", "東京\r\n", false},
      {"abc", "ABC\r\n", false},
      {"ＡＢＣ", "ABC\r\n", false},
      {"ab", "a\r\nb\r\n", false},
      {"A\r\n+++\r\nB\r\n", "A B\r\n", true},
      {"+++ \nA", "A\r\n", true},  // "+++ " is a keyword of the same group
      {"++++", "++++\r\n", true},
      {"\xEF\xBF\xBD+++", "+++\r\n", false},
      {"A\n+++\nc\r", "A abc\r\n", true},
      {"c\r", "c\rx\r\n", true},
      {"\r", "\r\n", true},
      {"\r\r", "x\r\r\n", true},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.condition_text) + " / " +
                 ::testing::PrintToString(c.passage_text));
    EXPECT_EQ(passage_selected(c.condition_text, c.passage_text), c.selected);
    EXPECT_EQ(ConditionMatcher(c.condition_text).selected(c.passage_text), c.selected);
  }
}

std::string random_from(std::mt19937& random, const std::vector<std::string_view>& pieces,
                        int max_lines, const std::vector<std::string_view>& ends) {
  std::string text;
  const int lines = static_cast<int>(random() % static_cast<unsigned>(max_lines));
  for (int i = 0; i < lines; ++i) {
    const int parts = 1 + static_cast<int>(random() % 2);
    for (int p = 0; p < parts; ++p) text += pieces[random() % pieces.size()];
    text += ends[random() % ends.size()];
  }
  return text;
}

// The matcher on each passage's raw bytes against the plain test on its written text.
void expect_matcher_agrees(const std::string& condition_text, const std::string& file_text,
                           std::int32_t break_count) {
  const ConditionMatcher matcher(condition_text);
  PassageWorkspace reference;
  split_passages(break_count, file_text, reference);
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  std::string scratch;
  for (const Passage& passage : reference.passages) {
    ASSERT_TRUE(cutter.next(span));
    ASSERT_EQ(matcher.selected(cutter.lines(span), file_text.size() - span.end, scratch),
              passage_selected(condition_text, passage.text))
        << "condition " << ::testing::PrintToString(condition_text) << "\nfile "
        << ::testing::PrintToString(file_text) << "\npassage "
        << ::testing::PrintToString(passage.text);
  }
}

// The matcher works on the raw bytes of the file; the plain test on the passage text
// as written. Both must agree on every passage of every text.
TEST_P(ConditionMatcherTest, equals_the_plain_state_machine_on_random_inputs) {
  std::mt19937 random(424242);
  const std::vector<std::string_view> text_pieces = {
      "東京", "大阪", "京都", "a", "b", "ab", " ", "\r", "\xEF\xBB\xBF", "", "+++"};
  const std::vector<std::string_view> condition_pieces = {
      "東京", "大阪", "京", "a", "b", "ab", "+++", "", "\r", "b\r", "\xEF\xBB\xBF", "都\r"};
  const std::vector<std::string_view> text_ends = {"\n", "\r\n", "", "\r"};
  const std::vector<std::string_view> condition_ends = {"\n", "\r\n", "\r"};
  for (int round = 0; round < 5000; ++round) {
    std::string condition_text = random_from(random, condition_pieces, 7, condition_ends);
    if (random() % 2) condition_text += condition_pieces[random() % condition_pieces.size()];
    const std::string file_text = random_from(random, text_pieces, 10, text_ends);
    const std::int32_t break_count = static_cast<std::int32_t>(random() % 7) - 2;
    expect_matcher_agrees(condition_text, file_text, break_count);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// One to three groups of `fewest` to `most` keywords of one to three pieces each; one
// keyword in `crlf_one_in` ends in CR LF (none for 0).
std::string random_groups(std::mt19937& random, const std::vector<std::string_view>& pieces,
                          int fewest, int most, int crlf_one_in) {
  std::string condition_text;
  const int groups = 1 + static_cast<int>(random() % 3);
  for (int g = 0; g < groups; ++g) {
    if (g > 0) condition_text += "+++\n";
    const int keywords =
        fewest + static_cast<int>(random() % static_cast<unsigned>(most - fewest + 1));
    for (int k = 0; k < keywords; ++k) {
      const int parts = 1 + static_cast<int>(random() % 3);
      for (int p = 0; p < parts; ++p) condition_text += pieces[random() % pieces.size()];
      const bool crlf = crlf_one_in != 0 && random() % static_cast<unsigned>(crlf_one_in) == 0;
      condition_text += crlf ? "\r\n" : "\n";
    }
  }
  return condition_text;
}

// Groups large enough to be searched in one pass, with keywords that share prefixes,
// overlap, end in CR or are shorter than the prefix the pass looks up.
TEST_P(ConditionMatcherTest, large_groups_equal_the_plain_state_machine) {
  std::mt19937 random(99);
  const std::vector<std::string_view> keyword_pieces = {"東", "京", "大阪", "ab",
                                                        "a",  "b",  "\r",   "都"};
  const std::vector<std::string_view> text_pieces = {"東京", "大阪", "京都", "a", "b",
                                                     "ab",   " ",    "\r",   ""};
  const std::vector<std::string_view> text_ends = {"\n", "\r\n", "", "\r"};
  for (int round = 0; round < 3000; ++round) {
    const std::string condition_text = random_groups(random, keyword_pieces, 6, 19, 0);
    const std::string file_text = random_from(random, text_pieces, 12, text_ends);
    expect_matcher_agrees(condition_text, file_text, 2);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Groups of one to seven keywords in passages long enough for the 32-position steps, the
// keywords near the ends of lines and passages too.
TEST_P(ConditionMatcherTest, small_groups_in_long_passages_equal_the_plain_state_machine) {
  std::mt19937 random(77);
  const std::vector<std::string_view> keyword_pieces = {"東", "京", "大阪", "ab", "a", "都"};
  const std::vector<std::string_view> text_pieces = {"東京", "大阪", "京都", "の", "は",
                                                     "a",    "ab",   " ",    "\r"};
  const std::vector<std::string_view> text_ends = {"\n", "\r\n", "", "\r"};
  for (int round = 0; round < 1500; ++round) {
    const std::string condition_text = random_groups(random, keyword_pieces, 1, 7, 8);
    std::string file_text;
    const int lines = 1 + static_cast<int>(random() % 8);
    for (int line = 0; line < lines; ++line) {
      const int pieces = static_cast<int>(random() % 60);
      for (int p = 0; p < pieces; ++p) file_text += text_pieces[random() % text_pieces.size()];
      file_text += text_ends[random() % text_ends.size()];
    }
    expect_matcher_agrees(condition_text, file_text, 1 + static_cast<int>(random() % 3));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace korvidan::conditions
