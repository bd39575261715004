// Whole runs on one named text file: both result files byte for byte, the report, the
// exit status, and the failures of creating, reading and writing.
#include "support/fixture.hpp"
#include "support/invariant.hpp"

namespace korvidan::testing {
namespace {

class SingleFileTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write("c.jkn", "c\n");
    write("f.txt", "a\nb\n\nc\n");
  }
  std::string selection(std::string_view folder = "") {
    return read(std::string(folder) + std::string(selection_name));
  }
  std::string rest(std::string_view folder = "") {
    return read(std::string(folder) + std::string(rest_name));
  }
};

TEST_F(SingleFileTest, form_i_worked_example_next_to_a_bare_name) {
  const ProgramRun run = this->run({"2", "c.jkn", "f.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(run.standard_output, report_for("."));
  EXPECT_EQ(selection(), std::string(bom) + "1\r\n4--4  \r\n1\r\nc\r\n");
  EXPECT_EQ(rest(), std::string(bom) + "1\r\n1--3  \r\n1\r\na\r\nb\r\n\r\n");
}

TEST_F(SingleFileTest, form_s_in_a_sub_folder_with_both_line_ends) {
  make_folder("docs");
  write("docs/a.txt", "\xEF\xBB\xBF東京\r\n\r\n大阪\n\n東京と大阪\r");
  write("k.jkn", "\xEF\xBB\xBF東京\r\n");
  const ProgramRun run = this->run({"2", "k.jkn", "docs/a.txt", "S", "U"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_output, report_for("docs"));
  EXPECT_EQ(selection("docs/"), std::string(bom) + "東京\r\n\r\n東京と大阪\r\r\n");
  EXPECT_EQ(rest("docs/"), std::string(bom) + "大阪\r\n\r\n");
  for (const char* break_count : {"-1", "1", "2", "3"}) {
    expect_nothing_lost(root_, {break_count, "k.jkn", "docs/a.txt", "U"}, "docs");
  }
}

TEST_F(SingleFileTest, scopes_c_and_u_give_identical_results) {
  ASSERT_EQ(run({"1", "c.jkn", "f.txt", "I", "C"}).exit_status, 0);
  const std::string selection_c = selection();
  const std::string rest_c = rest();
  ASSERT_EQ(run({"1", "c.jkn", "f.txt", "I", "U"}).exit_status, 0);
  EXPECT_EQ(selection(), selection_c);
  EXPECT_EQ(rest(), rest_c);
  EXPECT_EQ(rest_c,
            std::string(bom) +
                "1\r\n1--0  \r\n1\r\n2\r\n1--1  \r\n2\r\na\r\n3\r\n2--3  \r\n3\r\nb\r\n\r\n");
}

TEST_F(SingleFileTest, old_results_are_truncated) {
  write(selection_name, "old selection, much longer than a byte-order mark");
  write(rest_name, "old rest");
  write("none.jkn", "c\n+++\n");
  ASSERT_EQ(run({"2", "none.jkn", "f.txt", "S", "C"}).exit_status, 0);
  EXPECT_EQ(selection(), bom);
  EXPECT_EQ(rest(), std::string(bom) + "a\r\nb\r\n\r\nc\r\n");
}

TEST_F(SingleFileTest, a_text_that_is_not_utf8_is_a_run_error) {
  write("sjis.txt", "\x93\x8C\x8B\x9E\r\n");
  const ProgramRun run = this->run({"2", "c.jkn", "sjis.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_EQ(run.standard_error,
            std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
  EXPECT_EQ(selection(), bom);
  EXPECT_EQ(rest(), bom);
}

TEST_F(SingleFileTest, a_result_file_that_cannot_be_created_is_a_run_error) {
  make_folder(selection_name);
  ProgramRun run = this->run({"2", "c.jkn", "f.txt", "S", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_TRUE(run.standard_error.starts_with(run_error_prefix)) << run.standard_error;
  EXPECT_NE(run.standard_error.find(" (os error "), std::string::npos) << run.standard_error;
  EXPECT_FALSE(exists(rest_name));

  std::filesystem::remove(at(selection_name));
  make_folder(rest_name);
  run = this->run({"2", "c.jkn", "f.txt", "S", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(selection(), "");  // created, and left empty
}

TEST_F(SingleFileTest, a_target_that_is_its_own_result_file_is_refused_untouched) {
  make_folder("docs");
  const std::string content = "c\n\nd\n";
  for (const std::string& target :
       {std::string(rest_name), "docs/../" + std::string(selection_name)}) {
    SCOPED_TRACE(target);
    write(target, content);
    const ProgramRun run = this->run({"2", "c.jkn", target, "S", "C"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(run.standard_error, std::string(run_error_prefix) +
                                      "検索対象のファイルはこの実行の結果ファイルそのものです。結果"
                                      "ファイルを検索対象にはできません\n");
    EXPECT_EQ(read(target), content);
  }
}

TEST_F(SingleFileTest, a_failed_write_stops_with_a_prefix_of_the_results) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "c 東京の文章 " + std::to_string(i) + "\n\n";
  write("big.txt", text);
  for (const char* form : {"S", "I"}) {
    expect_cut_short_prefixes({"2", "c.jkn", "big.txt", form, "C"}, ".", {2, 40, 20000});
  }
}

// The rest file's byte-order mark is the first write that fails: the selection file keeps
// its own mark, written before, and nothing decided after the failure.
TEST_F(SingleFileTest, a_full_disk_leaves_the_other_file_as_it_stood_at_the_failure) {
  if (on_windows()) GTEST_SKIP() << "the /dev/full link is a POSIX fixture";
  std::filesystem::create_symlink("/dev/full", at(rest_name));
  const ProgramRun run = this->run({"2", "c.jkn", "f.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_NE(run.standard_error.find("cannot write !!: No space left on device (os error 28)"),
            std::string::npos)
      << run.standard_error;
  EXPECT_EQ(selection(), bom);
}

TEST_F(SingleFileTest, an_unreadable_target_is_a_run_error) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  write("secret.txt", "c\n");
  std::filesystem::permissions(at("secret.txt"), std::filesystem::perms::owner_write);
  const ProgramRun run = run_as_nobody({"2", "c.jkn", "secret.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            std::string(run_error_prefix) + "Permission denied (os error 13)\n");
  EXPECT_EQ(selection(), bom);
  EXPECT_EQ(rest(), bom);
}

}  // namespace
}  // namespace korvidan::testing
