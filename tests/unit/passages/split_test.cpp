#include <gtest/gtest.h>

#include <random>

#include "passages/passages.hpp"

namespace korvidan::passages {

void PrintTo(const Passage& p, std::ostream* out) {
  *out << "{" << ::testing::PrintToString(p.text) << ", " << p.first_line << "--" << p.last_line
       << "}";
}

namespace {

std::vector<Passage> split(std::int32_t break_count, std::string_view text) {
  PassageWorkspace workspace;
  split_passages(break_count, text, workspace);
  return workspace.passages;
}

// The same passages through the cutter, their text built as the result files get it; the
// text fed `piece` bytes at a time, as the blocks of a file come.
std::vector<Passage> cut(std::int32_t break_count, std::string_view text,
                         std::size_t piece = SIZE_MAX) {
  std::vector<Passage> passages;
  PassageCutter cutter(break_count);
  std::string held;
  for (std::size_t read = 0; read < text.size() || passages.empty();) {
    const std::size_t taken = std::min(piece, text.size() - read);
    held.append(text, read, taken);
    read += taken;
    cutter.start(held, read == text.size());
    PassageSpan span;
    while (cutter.next(span)) {
      Passage passage{{}, span.first_line, span.last_line};
      cutter.lines(span).emit_crlf(
          [&passage](std::string_view bytes) { passage.text.append(bytes); });
      passages.push_back(std::move(passage));
    }
    held.erase(0, cutter.consumed());
  }
  return passages;
}

struct SplitCase {
  std::int32_t break_count;
  std::string_view text;
  std::vector<Passage> expected;
};

TEST(SplitPassages, rule_table) {
  const SplitCase cases[] = {
      {2, "", {{"", 1, 1}}},
      {2, "\n", {{"\r\n", 1, 1}}},
      {2, "A\n\nB\n", {{"A\r\n\r\n", 1, 2}, {"B\r\n", 3, 3}}},
      {3, "A\n\nB\n", {{"A\r\n\r\nB\r\n", 1, 3}}},
      {3, "A\n\n\nB\n", {{"A\r\n\r\n\r\n", 1, 3}, {"B\r\n", 4, 4}}},
      {2, "\nA", {{"\r\n", 1, 1}, {"A\r\n", 2, 2}}},
      {3, "\nA", {{"\r\nA\r\n", 1, 2}}},
      {1, "A\nB", {{"", 1, 0}, {"A\r\n", 1, 1}, {"B\r\n", 2, 2}}},
      {0, "A\nB", {{"", 1, 0}, {"A\r\n", 1, 1}, {"B\r\n", 2, 2}}},
      {-5, "A\n\nB", {{"", 1, 0}, {"A\r\n\r\n", 1, 2}, {"B\r\n", 3, 3}}},
      {INT32_MIN, "A", {{"", 1, 0}, {"A\r\n", 1, 1}}},
      {INT32_MAX, "A\n\n\nB", {{"A\r\n\r\n\r\nB\r\n", 1, 4}}},
      {2, "a\nb\n\nc\n", {{"a\r\nb\r\n\r\n", 1, 3}, {"c\r\n", 4, 4}}},
      {2, "A\r\n\r\nB\r\n", {{"A\r\n\r\n", 1, 2}, {"B\r\n", 3, 3}}},
      {2, "A\r\rB", {{"A\r\rB\r\n", 1, 1}}},
      {2, "A\r", {{"A\r\r\n", 1, 1}}},
      {2, "A\n\n\n", {{"A\r\n\r\n\r\n", 1, 3}}},
      {2,
       "\xEF\xBB\xBF"
       "A\n\nB",
       {{"A\r\n\r\n", 1, 2}, {"B\r\n", 3, 3}}},
      {2, "\xEF\xBB\xBF", {{"\r\n", 1, 1}}},
      {2, "\xEF\xBB\xBF\nA", {{"\r\n", 1, 1}, {"A\r\n", 2, 2}}},
      {2,
       "\xEF\xBB\xBF\xEF\xBB\xBF"
       "A",
       {{"\xEF\xBB\xBF"
         "A\r\n",
         1, 1}}},
      {2,
       "A\n\n\xEF\xBB\xBF"
       "B",
       {{"A\r\n\r\n", 1, 2},
        {"\xEF\xBB\xBF"
         "B\r\n",
         3, 3}}},
      {1,
       "\xEF\xBB\xBF"
       "A",
       {{"", 1, 0}, {"A\r\n", 1, 1}}},
      {2, "A\n \n\xE3\x80\x80\n\tB", {{"A\r\n \r\n\xE3\x80\x80\r\n\tB\r\n", 1, 4}}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " N=" + std::to_string(c.break_count));
    EXPECT_EQ(split(c.break_count, c.text), c.expected);
    EXPECT_EQ(cut(c.break_count, c.text), c.expected);
  }
}

TEST(SplitPassages, crlf_and_lf_give_identical_passages) {
  EXPECT_EQ(split(2, "a\nb\n\n\nc\n"), split(2, "a\r\nb\r\n\r\n\r\nc\r\n"));
  EXPECT_EQ(cut(2, "a\nb\n\n\nc\n"), cut(2, "a\r\nb\r\n\r\n\r\nc\r\n"));
}

TEST(SplitPassages, workspace_is_appended_to_and_line_buffer_reset) {
  PassageWorkspace workspace;
  workspace.line_buffer = "left over";
  split_passages(2, "A\n\nB", workspace);
  split_passages(2, "C", workspace);
  ASSERT_EQ(workspace.passages.size(), 3u);
  EXPECT_EQ(workspace.passages[2].text, "C\r\n");
  workspace.clear();
  EXPECT_TRUE(workspace.passages.empty());
}

// Random texts from pieces that stress every rule: empty lines, CR in odd places,
// byte-order marks, blanks, Japanese and ASCII.
std::string random_text(std::mt19937& random) {
  static const std::string_view pieces[] = {
      "東京", "大阪", "a", "abc", " ", "\xE3\x80\x80", "\r", "\xEF\xBB\xBF", "+++", "\t", "京"};
  static const std::string_view ends[] = {"\n", "\r\n", "\n", "\r\n", "\r", ""};
  std::string text;
  const int lines = static_cast<int>(random() % 12);
  for (int i = 0; i < lines; ++i) {
    const int parts = static_cast<int>(random() % 3);
    for (int p = 0; p < parts; ++p) text += pieces[random() % std::size(pieces)];
    text += ends[random() % std::size(ends)];
  }
  return text;
}

TEST(SplitPassages, cutter_equals_the_plain_split_on_random_texts) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 20000; ++round) {
    const std::string text = random_text(random);
    const std::int32_t break_count = static_cast<std::int32_t>(random() % 7) - 2;
    ASSERT_EQ(cut(break_count, text), split(break_count, text))
        << ::testing::PrintToString(text) << " N=" << break_count;
  }
}

// A passage of more lines than the cutter lists, and the passages after it, listed again:
// their CR LF text as the plain split has it (a long passage's LF list once took 64 MB).
TEST(SplitPassages, passages_of_very_many_lines_equal_the_plain_split) {
  std::string text = "\n";
  for (int i = 0; i < 40000; ++i) text += i % 3 == 0 ? "a\r\n" : "a\n";
  for (int i = 0; i < 60000; ++i) text += i % 7 == 0 ? "\r\n" : "\n";
  text += "b\nc\r\n\nd\n\n";
  for (const std::int32_t break_count : {2, 3, INT32_MAX}) {
    const std::vector<Passage> expected = split(break_count, text);
    ASSERT_EQ(cut(break_count, text), expected) << "N=" << break_count;
    ASSERT_EQ(cut(break_count, text, 4099), expected) << "N=" << break_count;
  }
}

}  // namespace
}  // namespace korvidan::passages
