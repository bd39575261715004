#include <gtest/gtest.h>

#include <random>

#include "conditions/conditions.hpp"
#include "passages/passages.hpp"
#include "text/every_kernel.hpp"

namespace korvidan::conditions {
namespace {

using passages::Passage;
using passages::PassageCutter;
using passages::PassageSpan;
using passages::PassageWorkspace;
using passages::split_passages;

KORVIDAN_ON_EVERY_KERNEL(ConditionMatcherTest);

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

// The matcher on each passage's raw bytes against the plain test on its written text;
// and on runs of the passages at once (a keyword found in the wrong passage of a run, or
// a passage passed over after a hit, fails), each run ending where the file or a run of
// two to five passages does.
void expect_matcher_agrees(const std::string& condition_text, const std::string& file_text,
                           std::int32_t break_count) {
  const ConditionMatcher matcher(condition_text);
  PassageWorkspace reference;
  split_passages(break_count, file_text, reference);
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  std::string scratch;
  std::vector<PassageSpan> spans;
  std::vector<bool> expected;
  for (const Passage& passage : reference.passages) {
    ASSERT_TRUE(cutter.next(span));
    const bool selected = passage_selected(condition_text, passage.text);
    ASSERT_EQ(matcher.selected(passage.text), selected);
    ASSERT_EQ(matcher.selected(cutter.lines(span), file_text.size() - span.end, scratch), selected)
        << "condition " << ::testing::PrintToString(condition_text) << "\nfile "
        << ::testing::PrintToString(file_text) << "\npassage "
        << ::testing::PrintToString(passage.text);
    spans.push_back(span);
    expected.push_back(selected);
  }
  for (const std::size_t run : {spans.size(), std::size_t{2}, std::size_t{5}}) {
    for (std::size_t first = 0; first < spans.size(); first += run) {
      const std::size_t last = std::min(spans.size(), first + run);
      std::vector<std::size_t> ends;
      for (std::size_t i = first; i < last; ++i) ends.push_back(spans[i].end);
      bool answers[8192];
      ASSERT_LE(ends.size(), std::size(answers));
      matcher.select(file_text, spans[first].begin, ends, spans[last - 1].unterminated, answers,
                     scratch);
      for (std::size_t i = first; i < last; ++i) {
        ASSERT_EQ(answers[i - first], expected[i])
            << "passage " << i << " of a run from " << first << " to " << last << ", condition "
            << ::testing::PrintToString(condition_text) << "\nfile "
            << ::testing::PrintToString(file_text);
      }
    }
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

// One keyword of a long list at every place of a text around the 64-byte steps: at the
// start, straddling a step, at the very end; and the same keyword cut short nowhere. The
// lists begin with one rare beginning (searched first) or with kana (every character
// start looked at).
TEST_P(ConditionMatcherTest, a_keyword_of_a_long_list_is_found_wherever_it_lies) {
  for (const std::string_view beginning : {"語彙", "デー"}) {
    std::string condition_text;
    std::vector<std::string> keywords;
    for (int i = 0; i < 30; ++i)
      keywords.push_back(std::string(beginning) + std::to_string(i) + "番");
    keywords.push_back(std::string(beginning.substr(0, 3)) + "句");  // the shortest: 6 bytes
    for (const std::string& keyword : keywords) condition_text += keyword + "\n";
    const ConditionMatcher matcher(condition_text);
    for (const std::string_view filler : {"x", "の"}) {
      for (std::size_t before = 0; before < 140; ++before) {
        for (std::size_t after = 0; after < 3; ++after) {
          std::string prefix;
          for (std::size_t i = 0; i < before; ++i) prefix += filler;
          std::string suffix;
          for (std::size_t i = 0; i < after; ++i) suffix += filler;
          for (const std::size_t which : {7U, 29U, 0U, 30U}) {
            const std::string& keyword = keywords[which];
            SCOPED_TRACE(prefix + "|" + keyword + "|" + suffix);
            EXPECT_TRUE(matcher.selected(prefix + keyword + suffix));
            EXPECT_FALSE(matcher.selected(prefix + keyword.substr(0, keyword.size() - 1) + suffix));
          }
        }
      }
    }
  }
}

// Words as long keyword lists hold them: katakana loanwords (sharing lead bytes and often
// whole first characters), kanji compounds, and the two together.
std::string generated_word(std::mt19937& random) {
  static const std::vector<std::string_view> kana = {"ア", "イ", "ス", "ト", "ル", "デ", "ー",
                                                     "タ", "ン", "ッ", "ク", "プ", "ロ", "ティ"};
  static const std::vector<std::string_view> kanji = {"情", "報", "処", "理", "装", "置",
                                                      "方", "法", "制", "御", "信", "号"};
  std::string word;
  const auto add = [&](const std::vector<std::string_view>& from, unsigned most) {
    const unsigned count = 1 + static_cast<unsigned>(random() % most);
    for (unsigned i = 0; i < count; ++i) word += from[random() % from.size()];
  };
  switch (random() % 3) {
    case 0:
      add(kana, 6);
      break;
    case 1:
      add(kanji, 4);
      break;
    default:
      add(kana, 3);
      add(kanji, 2);
      break;
  }
  return word;
}

// Keyword lists of 1 to 5,000 keywords against passages made of the same words: the lists
// mix one-byte and one-character keywords, shared prefixes, duplicates, keywords with
// U+3000, tabs or a CR at the end, and empty groups.
TEST_P(ConditionMatcherTest, generated_keyword_lists_equal_the_plain_rule) {
  std::mt19937 random(15);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 400; ++i) vocabulary.push_back(generated_word(random));
  const std::vector<std::string_view> odd = {
      "a", "ー", "\t", "情報\t", "\xE3\x80\x80", "タ\r", "ア\xE3\x80\x80", "情報", "デー"};
  const std::vector<std::string_view> separators = {"", "の", "、", " ", "\t", "\xE3\x80\x80", "a"};
  const std::vector<std::string_view> ends = {"\n", "\r\n", "\r\n", "\r"};
  for (const std::size_t size : {1U, 2U, 8U, 9U, 10U, 40U, 100U, 400U, 1000U, 5000U}) {
    for (int round = 0; round < (size >= 1000 ? 2 : 6); ++round) {
      // Two groups, or a group and an empty one now and then.
      std::string condition_text;
      const int groups = round % 3 == 2 ? 1 : 2;
      for (int g = 0; g < groups; ++g) {
        if (g > 0) condition_text += "+++\n";
        for (std::size_t k = 0; k < size; ++k) {
          const auto kind = random() % 20;
          if (kind == 0) {
            condition_text += odd[random() % odd.size()];
          } else if (kind < 8) {
            condition_text += generated_word(random);  // mostly absent from the text
          } else {
            condition_text += vocabulary[random() % vocabulary.size()];
          }
          condition_text += random() % 8 == 0 ? "\r\n" : "\n";
        }
      }
      if (round % 3 == 2) condition_text += "+++\n";
      std::string file_text;
      for (int line = 0; line < 120; ++line) {
        const int words = static_cast<int>(random() % 40);
        for (int w = 0; w < words; ++w) {
          file_text +=
              random() % 3 == 0 ? generated_word(random) : vocabulary[random() % vocabulary.size()];
          file_text += separators[random() % separators.size()];
        }
        if (random() % 4 == 0) file_text += "\r\n";
        file_text += ends[random() % ends.size()];
      }
      // An unterminated last line, ending in a keyword or a CR now and then.
      file_text += vocabulary[random() % vocabulary.size()];
      if (random() % 2 == 0) file_text += "\r";
      SCOPED_TRACE("keywords " + std::to_string(size) + ", round " + std::to_string(round));
      expect_matcher_agrees(condition_text, file_text, 1 + static_cast<int>(random() % 2));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// `word` cut or filled with ASCII to `size` bytes, cut only between characters.
std::string sized(std::string_view word, std::size_t size, std::mt19937& random) {
  std::size_t keep = std::min(word.size(), size);
  while (keep > 0 && keep < word.size() && (static_cast<unsigned char>(word[keep]) & 0xC0) == 0x80)
    --keep;
  std::string out(word.substr(0, keep));
  while (out.size() < size) out += "ab1:"[random() % 4];
  return out;
}

// Lists whose keywords share a beginning of 3 to 40 bytes (all of them in one bucket of the
// long-list search), are prefixes of one another, are 7 to 17 bytes long around the 8-byte
// words compared, or end in CR, against texts dense with near misses: the shared beginning
// followed by every other ending. A 7-byte keyword hashed as if it had 8 (the long
// keywords' rule taken one byte too short) is never found here.
TEST_P(ConditionMatcherTest, keywords_sharing_a_beginning_equal_the_plain_rule) {
  std::mt19937 random(22);
  // Each beginning with the fewest bytes its keywords have (filled with ASCII).
  const std::vector<std::pair<std::string_view, std::size_t>> beginnings = {
      {"東", 6},
      {"abc", 6},
      {"デー", 7},
      {"株式会社", 12},
      {"東京都千代田区大手町一", 33},
      {"2026-12-10 0", 12},
      {"0123456789abcdefghijklmnopqrstuvwxyzABCD", 40}};
  const std::vector<std::string_view> endings = {"情", "報", "処", "a",  "b",  "ー",
                                                 "1",  ":",  "\t", "区", "都", "港"};
  const auto ending = [&] {
    std::string out;
    const unsigned pieces = static_cast<unsigned>(random() % 5);
    for (unsigned i = 0; i < pieces; ++i) out += endings[random() % endings.size()];
    return out;
  };
  for (const auto& [beginning, fewest] : beginnings) {
    for (const std::size_t count : {2U, 9U, 40U, 400U, 5000U}) {
      for (int round = 0; round < (count >= 400 ? 2 : 4); ++round) {
        // Keywords ending in CR in every other round; in the others a keyword ends the
        // text, at the very end of the last passage searched.
        const bool with_cr = round % 2 == 1;
        std::vector<std::string> keywords;
        for (std::size_t k = 0; k < count; ++k) {
          std::string keyword = std::string(beginning) + ending();
          std::size_t size = std::max(keyword.size(), fewest);
          if (k % 3 == 1) {
            const std::size_t sizes[] = {7, 8, 9, 15, 16, 17};
            size = std::max(sizes[random() % 6], fewest);
          }
          keywords.push_back(sized(keyword, size, random));
        }
        std::string condition_text;
        for (const std::string& keyword : keywords) {
          // One in eight ends in CR, as a line of a file saved with CR CR LF ends.
          condition_text += keyword + (with_cr && random() % 8 == 0 ? "\r\r\n" : "\n");
        }
        if (round == 2) condition_text += "+++\n" + std::string(beginning) + "\n";
        std::string file_text;
        for (int line = 0; line < 50; ++line) {
          const int mentions = 1 + static_cast<int>(random() % 4);
          for (int m = 0; m < mentions; ++m) {
            const auto pick = random() % 10;
            if (pick == 0) {
              file_text += keywords[random() % keywords.size()];
            } else if (pick == 1) {
              const std::string& keyword = keywords[random() % keywords.size()];
              file_text += keyword.substr(0, keyword.size() - 1);
            } else {
              file_text += std::string(beginning) + ending();
            }
            if (random() % 3 == 0) file_text += "、";
          }
          file_text += random() % 8 == 0 ? "\n\n" : random() % 2 ? "\n" : "\r\n";
        }
        if (!with_cr) file_text += keywords[random() % keywords.size()];
        SCOPED_TRACE(std::string(beginning) + ", keywords " + std::to_string(count));
        expect_matcher_agrees(condition_text, file_text, round < 2 ? 1 : 2);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace korvidan::conditions
