#include <gtest/gtest.h>

#include "passages/passages.hpp"

namespace korvidan::passages {
namespace {

struct StringSink final : ResultSink {
  std::string bytes;
  void append(std::string_view more) override { bytes.append(more); }
};

struct Processed {
  std::string selection;
  std::string rest;
};

Processed form_s(std::int32_t break_count, std::string_view conditions, std::string_view text) {
  StringSink selection;
  StringSink rest;
  PassageWorkspace workspace;
  process_file_text_only(break_count, ConditionMatcher(conditions), text, workspace, selection,
                         rest);
  return {selection.bytes, rest.bytes};
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

// One run's form-I state across files: the two result files, the workspace, the counters.
struct IndexedRun {
  StringSink selection;
  StringSink rest;
  PassageWorkspace workspace;
  std::uint64_t selected_total = 0;
  std::uint64_t rest_total = 0;
  void file(std::int32_t break_count, std::string_view conditions, std::string_view text,
            std::string_view path) {
    process_file_indexed(break_count, ConditionMatcher(conditions), text, workspace, selected_total,
                         rest_total, path, selection, rest);
  }
};

TEST(FormI, worked_example) {
  IndexedRun run;
  run.file(2, "c", "a\nb\n\nc\n", "");
  EXPECT_EQ(run.selection.bytes, "1\r\n4--4  \r\n1\r\nc\r\n");
  EXPECT_EQ(run.rest.bytes, "1\r\n1--3  \r\n1\r\na\r\nb\r\n\r\n");
}

TEST(FormI, run_counts_go_on_across_files_and_counts_in_file_restart) {
  IndexedRun run;
  run.file(2, "hit", "hit1\n\nmiss\n\nhit2\n", "d/one.txt");
  run.file(2, "hit", "hit3", "d/two.txt");
  EXPECT_EQ(run.selection.bytes,
            "1\r\n1--2  d/one.txt\r\n1\r\nhit1\r\n\r\n"
            "2\r\n5--5  d/one.txt\r\n2\r\nhit2\r\n"
            "3\r\n1--1  d/two.txt\r\n1\r\nhit3\r\n");
  EXPECT_EQ(run.rest.bytes, "1\r\n3--4  d/one.txt\r\n1\r\nmiss\r\n\r\n");
  EXPECT_EQ(run.selected_total, 3u);
  EXPECT_EQ(run.rest_total, 1u);
}

TEST(FormI, empty_text_and_empty_first_passage_are_records_without_text) {
  IndexedRun run;
  run.file(2, "x", "", "");
  EXPECT_EQ(run.rest.bytes, "1\r\n1--1  \r\n1\r\n");
  run.rest.bytes.clear();
  run.file(0, "x", "A", "");
  EXPECT_EQ(run.rest.bytes, "2\r\n1--0  \r\n1\r\n3\r\n1--1  \r\n2\r\nA\r\n");
  EXPECT_EQ(run.selection.bytes, "");
}

}  // namespace
}  // namespace korvidan::passages
