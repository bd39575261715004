#include <gtest/gtest.h>

#include <charconv>
#include <random>

#include "scan/passage_tester.hpp"
#include "scan/scan.hpp"
#include "support/memory_target.hpp"

namespace korvidan::scan {
namespace {

using testing::MemoryTarget;

struct Processed {
  std::string selection;
  std::string rest;
};

// One run's results in memory: the two files and the stage over them.
struct MemoryRun {
  explicit MemoryRun(bool indexed,
                     std::size_t buffer_size = results::ResultFiles::default_buffer_size)
      : files(selection, rest, indexed, buffer_size) {}
  void file(std::int32_t break_count, std::string_view conditions, std::string_view text,
            std::string_view path) {
    files.begin_file(path);
    process_file_indexed(break_count, conditions::ConditionMatcher(conditions), text, files);
  }
  Processed finish() {
    EXPECT_FALSE(files.finish().has_value());
    return {selection.bytes, rest.bytes};
  }
  MemoryTarget selection;
  MemoryTarget rest;
  results::ResultFiles files;
};

Processed form_s(std::int32_t break_count, std::string_view conditions, std::string_view text) {
  MemoryRun run(false);
  process_file_text_only(break_count, conditions::ConditionMatcher(conditions), text, run.files);
  return run.finish();
}

TEST(FormS, passages_are_sorted_and_concatenated_with_crlf) {
  const Processed out = form_s(2, "A\nC\n", "A\n\nB\n\nC\n");
  EXPECT_EQ(out.selection, "A\r\n\r\nC\r\n");
  EXPECT_EQ(out.rest, "B\r\n\r\n");
}

TEST(FormS, whole_text_goes_to_one_side_without_its_mark) {
  const Processed all = form_s(2, "x", "\xEF\xBB\xBFx1\nx2\n\nx3");
  EXPECT_EQ(all.selection, "x1\r\nx2\r\n\r\nx3\r\n");
  EXPECT_EQ(all.rest, "");
  const Processed none = form_s(2, "x\n+++\n", "x1\r\n\r\nx3\r\n");
  EXPECT_EQ(none.selection, "");
  EXPECT_EQ(none.rest, "x1\r\n\r\nx3\r\n");
}

TEST(FormS, empty_text_and_empty_first_passage_write_nothing) {
  const Processed empty = form_s(2, "x", "");
  EXPECT_EQ(empty.selection + empty.rest, "");
  const Processed n1 = form_s(1, "nothing", "A\nB\n");
  EXPECT_EQ(n1.rest, "A\r\nB\r\n");
}

TEST(FormI, worked_example) {
  MemoryRun run(true);
  process_file_indexed(2, conditions::ConditionMatcher("c"), "a\nb\n\nc\n", run.files);
  const Processed out = run.finish();
  EXPECT_EQ(out.selection, "1\r\n4--4  \r\n1\r\nc\r\n");
  EXPECT_EQ(out.rest, "1\r\n1--3  \r\n1\r\na\r\nb\r\n\r\n");
}

TEST(FormI, run_counts_go_on_across_files_and_counts_in_file_restart) {
  MemoryRun run(true);
  run.file(2, "hit", "hit1\n\nmiss\n\nhit2\n", "d/one.txt");
  run.file(2, "hit", "hit3", "d/two.txt");
  const Processed out = run.finish();
  EXPECT_EQ(out.selection,
            "d/one.txt\r\n"
            "1\r\n1--2  d/one.txt\r\n1\r\nhit1\r\n\r\n"
            "2\r\n5--5  d/one.txt\r\n2\r\nhit2\r\n"
            "d/two.txt\r\n"
            "3\r\n1--1  d/two.txt\r\n1\r\nhit3\r\n");
  EXPECT_EQ(out.rest, "d/one.txt\r\n1\r\n3--4  d/one.txt\r\n1\r\nmiss\r\n\r\nd/two.txt\r\n");
  EXPECT_EQ(run.files.selected_total(), 3u);
  EXPECT_EQ(run.files.rest_total(), 1u);
}

TEST(FormI, empty_text_and_empty_first_passage_are_records_without_text) {
  MemoryRun empty(true);
  process_file_indexed(2, conditions::ConditionMatcher("x"), "", empty.files);
  EXPECT_EQ(empty.finish().rest, "1\r\n1--1  \r\n1\r\n");
  MemoryRun n0(true);
  process_file_indexed(0, conditions::ConditionMatcher("x"), "A", n0.files);
  const Processed out = n0.finish();
  EXPECT_EQ(out.rest, "1\r\n1--0  \r\n1\r\n2\r\n1--1  \r\n2\r\nA\r\n");
  EXPECT_EQ(out.selection, "");
}

std::string decimal(std::uint64_t value) {
  char digits[20];
  return std::string(digits, std::to_chars(digits, digits + 20, value).ptr);
}

// The plain reading of a file: passages by split_passages, chosen by passage_selected.
Processed plain_file(std::int32_t break_count, const std::string& conditions,
                     const std::string& text, bool indexed) {
  passages::PassageWorkspace workspace;
  passages::split_passages(break_count, text, workspace);
  Processed out;
  std::uint64_t counts[2] = {0, 0};
  if (indexed) out.selection = out.rest = "p.txt\r\n";
  for (const passages::Passage& passage : workspace.passages) {
    const bool selected = conditions::passage_selected(conditions, passage.text);
    std::string& side = selected ? out.selection : out.rest;
    if (indexed) {
      const std::string count = decimal(++counts[selected ? 0 : 1]);
      side += count + "\r\n" + decimal(passage.first_line) + "--" + decimal(passage.last_line) +
              "  p.txt\r\n" + count + "\r\n";
    }
    side += passage.text;
  }
  return out;
}

// The same file handed to a PassageStream in random pieces, as the reader of blocks
// hands it over: each text starts with the bytes the previous call did not consume. The
// results stage has a buffer of a few bytes, so that every piece may overflow it. `split`:
// as the stages of a threaded search do, each piece cut and tested up to a random place
// or passage and stopped after a few passages, the rest cut and tested by a tester of its
// own as it is written.
Processed streamed_file(std::int32_t break_count, const std::string& conditions,
                        const std::string& text, bool indexed, bool split, std::mt19937& random) {
  MemoryRun run(indexed, 1 + random() % 8);
  const conditions::ConditionMatcher matcher(conditions);
  PassageStream stream(break_count, matcher, run.files);
  stream.start_file();
  run.files.begin_file("p.txt");
  std::string held;
  std::size_t read = 0;
  for (;;) {
    const std::size_t piece = std::min<std::size_t>(random() % 9, text.size() - read);
    held.append(text, read, piece);
    read += piece;
    const bool end_of_file = read == text.size() && random() % 3 != 0;
    std::size_t consumed = 0;
    if (split) {
      // A call may stop after a few passages: the rest of the text is then handed again.
      for (;;) {
        TestedText tested;
        const TestLimits limits{random() % (held.size() + 2), random() % 4, 1 + random() % 4,
                                1 + random() % 6};
        const std::size_t done = stream.tester().test(held, end_of_file, tested, limits);
        PassageTester rest_tester(break_count, matcher);
        write_tested(held, tested, rest_tester, run.files);
        if (!limits.reached(tested)) {
          consumed = done;
          break;
        }
        held.erase(0, done);
      }
    } else {
      consumed = stream.feed(held, end_of_file);
    }
    EXPECT_LE(consumed, held.size());
    if (end_of_file) break;
    held.erase(0, consumed);
  }
  return run.finish();
}

// Every byte of both forms, fed in pieces, against the plain reading of the whole file.
TEST(PassageStream, equals_the_plain_reading_in_any_pieces) {
  std::mt19937 random(20261209);
  const std::vector<std::string_view> text_pieces = {
      "東京", "大阪", "京都", "冬の駅", "a", "ab", " ", "\xE3\x80\x80", "\r", "", "+++"};
  const std::vector<std::string_view> ends = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
  const std::vector<std::string_view> keywords = {"東京", "京", "駅",  "a",    "ab",          "",
                                                  "+++",  "\r", "b\r", "都\r", "\xEF\xBB\xBF"};
  for (int round = 0; round < 4000; ++round) {
    std::string text = random() % 4 == 0 ? "\xEF\xBB\xBF" : "";
    const int lines = static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
      text += text_pieces[random() % text_pieces.size()];
      if (i + 1 < lines || random() % 2) text += ends[random() % ends.size()];
    }
    std::string conditions = random() % 5 == 0 ? "\xEF\xBB\xBF" : "";
    const int condition_lines = static_cast<int>(random() % 6);
    for (int i = 0; i < condition_lines; ++i) {
      conditions += keywords[random() % keywords.size()];
      conditions += random() % 3 == 0 ? "\r\n" : "\n";
    }
    const auto break_count = static_cast<std::int32_t>(random() % 7) - 2;
    const bool indexed = random() % 2 == 0;
    const Processed plain = plain_file(break_count, conditions, text, indexed);
    for (const bool split : {false, true}) {
      const Processed streamed =
          streamed_file(break_count, conditions, text, indexed, split, random);
      ASSERT_EQ(streamed.selection, plain.selection)
          << "text " << ::testing::PrintToString(text) << "\nconditions "
          << ::testing::PrintToString(conditions) << "\nN " << break_count << " split " << split;
      ASSERT_EQ(streamed.rest, plain.rest)
          << "text " << ::testing::PrintToString(text) << "\nconditions "
          << ::testing::PrintToString(conditions) << "\nN " << break_count << " split " << split;
    }
  }
}

// One stream serves a whole run: a file cut short in the middle of a line leaves nothing
// behind for the next one.
TEST(PassageStream, starts_each_file_afresh) {
  MemoryRun run(true);
  const conditions::ConditionMatcher matcher("b");
  PassageStream stream(2, matcher, run.files);
  for (const std::string_view text : {std::string_view("a\n\nb"), std::string_view("b\n")}) {
    stream.start_file();
    run.files.begin_file("f");
    stream.feed(text, true);
  }
  const Processed out = run.finish();
  EXPECT_EQ(out.selection, "f\r\n1\r\n3--3  f\r\n1\r\nb\r\nf\r\n2\r\n1--1  f\r\n1\r\nb\r\n");
  EXPECT_EQ(out.rest, "f\r\n1\r\n1--2  f\r\n1\r\na\r\n\r\nf\r\n");
}

}  // namespace
}  // namespace korvidan::scan
