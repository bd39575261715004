// The five parameter checks, seen from outside: message, exit status, a single line on
// standard error, nothing on standard output, no result file.
#include "support/fixture.hpp"

namespace korvidan::testing {
namespace {

const std::string usage =
    "korvidan "
    "文章区切りの改行個数\xE3\x80\x80複合条件ファイル名\xE3\x80\x80検索対象フォルダー名\xE3\x80\x80"
    "I/S  C/U";
const std::string message_1 =
    "第1パラメーター:連続改行何個以上で文章を分離するかの数字を入力してください。";
const std::string message_2_folder = "第2パラメーター:複合条件ファイルを指定してください。";
const std::string message_2_missing =
    "第2パラメーター:"
    "複合条件ファイルが存在しません。あるいは、そのファイル名の指定が間違っています。";
const std::string message_2_type =
    "第2パラメーター:複合条件ファイルのファイルタイプは、JKNに限ります。";
const std::string message_3_missing =
    "第3パラメーター:指定のファイルあるいはフォルダーは存在しません。";
const std::string message_3_type = "第3パラメーター:指定できるファイルタイプは.txtか.TXTです。";
const std::string message_4 =
    "第4パラメーター:Iは結果にインデックス情報を付加、Sは抽出テキストのみの出力";
const std::string message_5 =
    "第5パラメーター:"
    "Cはカレントフォルダーの全テキストファイル、Uはカレントフォルダー以下の全テキストファイル";
const std::string message_7 =
    "第2パラメーター:ファイル読み込み失敗!! UTF8コード体系のファイルを使用してください。";

class ParameterTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write("cond.jkn", "東京\n");
    write("cond.Jkn", "東京\n");
    write("cond", "東京\n");
    write(".jkn", "東京\n");
    write("data.txt", "東京\n");
    write("data.Txt", "東京\n");
    write("readme", "東京\n");
    write("sjis.jkn", "\x93\x8C\x8B\x9E\n");                               // 東京 in Shift_JIS
    write("utf16.jkn", std::string("\xFF\xFE\x71\x67\xAC\x4E\n\x00", 8));  // UTF-16 with BOM
    make_folder("docs");
    make_folder("folder.jkn");
    make_folder("data.doc");
  }

  void expect_parameter_error(const std::vector<std::string>& arguments,
                              const std::string& message) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ProgramRun run = this->run(arguments);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, std::string(parameter_prefix) + message + "\n");
    EXPECT_EQ(run.standard_output, "");
    expect_no_result_files();
  }

  void expect_no_result_files() {
    for (const char* folder : {"", "docs/"}) {
      EXPECT_FALSE(exists(std::string(folder) + std::string(selection_name)));
      EXPECT_FALSE(exists(std::string(folder) + std::string(rest_name)));
    }
  }
};

TEST_F(ParameterTest, break_count_must_be_a_signed_32_bit_decimal) {
  for (const char* bad : {"x", "", "\xEF\xBC\x93", " 3", "3 ", "3.0", "+", "-", "++3", "1,000",
                          "2147483648", "-2147483649", "99999999999999999999"}) {
    expect_parameter_error({bad, "cond.jkn", "docs", "I", "C"}, message_1);
  }
  for (const char* good :
       {"3", "+3", "003", "0", "-1", "2147483647", "-2147483648", "000000000000002"}) {
    SCOPED_TRACE(good);
    const ProgramRun run = this->run({good, "cond.jkn", "docs", "S", "C"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error, "");
  }
}

TEST_F(ParameterTest, condition_file_checks_in_order) {
  expect_parameter_error({"2", "folder.jkn", "docs", "I", "C"}, message_2_folder);
  expect_parameter_error({"2", "docs", "docs", "I", "C"}, message_2_folder);
  expect_parameter_error({"2", "nope.jkn", "docs", "I", "C"}, message_2_missing);
  expect_parameter_error({"2", "nope.JKN", "docs", "I", "C"}, message_2_missing);
  expect_parameter_error({"2", "cond.Jkn", "docs", "I", "C"}, message_2_type);
  expect_parameter_error({"2", "cond", "docs", "I", "C"}, message_2_type);
  expect_parameter_error({"2", ".jkn", "docs", "I", "C"}, message_2_type);
  expect_parameter_error({"2", "data.txt", "docs", "I", "C"}, message_2_type);
}

TEST_F(ParameterTest, missing_condition_file_of_another_type_stops_when_opened) {
  const ProgramRun run = this->run({"2", "nope.txt", "docs", "I", "C"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_NE(run.standard_error.find("複合条件ファイルを開けませんでした: "), std::string::npos)
      << run.standard_error;
  expect_no_result_files();
}

TEST_F(ParameterTest, target_checks) {
  expect_parameter_error({"2", "cond.jkn", "nowhere", "I", "C"}, message_3_missing);
  expect_parameter_error({"2", "cond.jkn", "nowhere.txt", "I", "C"}, message_3_missing);
  expect_parameter_error({"2", "cond.jkn", "data.Txt", "I", "C"}, message_3_type);
  expect_parameter_error({"2", "cond.jkn", "readme", "I", "C"}, message_3_type);
  expect_parameter_error({"2", "cond.jkn", "cond.jkn", "I", "C"}, message_3_type);
  const ProgramRun folder_with_type = run({"2", "cond.jkn", "data.doc", "I", "C"});
  EXPECT_EQ(folder_with_type.exit_status, 0);
}

TEST_F(ParameterTest, form_and_scope_letters) {
  for (const char* bad : {"x", "IS", " I", "I ", "\xEF\xBD\x89", "", "\xC4\xB0"}) {
    expect_parameter_error({"2", "cond.jkn", "docs", bad, "C"}, message_4);
  }
  for (const char* bad : {"x", "CU", "c ", "\xEF\xBD\x83", ""}) {
    expect_parameter_error({"2", "cond.jkn", "docs", "I", bad}, message_5);
  }
  for (const char* form : {"i", "I", "s", "S"}) {
    for (const char* scope : {"c", "C", "u", "U"}) {
      EXPECT_EQ(run({"2", "cond.jkn", "docs", form, scope}).exit_status, 0) << form << scope;
    }
  }
}

TEST_F(ParameterTest, the_first_failing_parameter_wins) {
  expect_parameter_error({"x", "nope.jkn", "nowhere", "x", "x"}, message_1);
  expect_parameter_error({"2", "nope.jkn", "nowhere", "x", "x"}, message_2_missing);
  expect_parameter_error({"2", "cond.jkn", "nowhere", "x", "x"}, message_3_missing);
  expect_parameter_error({"2", "cond.jkn", "docs", "x", "x"}, message_4);
  expect_parameter_error({"2", "sjis.jkn", "docs", "x", "C"}, message_4);
  expect_parameter_error({"2", "sjis.jkn", "docs", "I", "x"}, message_5);
}

TEST_F(ParameterTest, condition_file_that_is_not_utf8) {
  expect_parameter_error({"2", "sjis.jkn", "docs", "I", "C"}, message_7);
  expect_parameter_error({"2", "utf16.jkn", "docs", "S", "U"}, message_7);
}

TEST_F(ParameterTest, too_few_parameters_is_a_fatal_stop_with_the_usage_line) {
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{}, {"2", "cond.jkn", "docs", "I"}}) {
    const ProgramRun run = this->run(arguments);
    EXPECT_EQ(run.exit_status, 101);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_NE(run.standard_error.find("\n" + usage + "\n"), std::string::npos)
        << run.standard_error;
    expect_no_result_files();
  }
}

TEST_F(ParameterTest, parameters_after_the_fifth_are_ignored) {
  const ProgramRun run = this->run({"2", "cond.jkn", "docs", "I", "C", "extra", "nowhere"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_output, report_for("docs"));
}

TEST_F(ParameterTest, japanese_and_quoted_arguments_reach_the_checks_intact) {
  make_folder("検索 対象");
  write("検索 対象/メモ.txt", "東京\n");
  write("条件 ファイル.jkn", "東京\n");
  const ProgramRun run = this->run({"2", "条件 ファイル.jkn", "検索 対象", "S", "C"});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_output, report_for("検索 対象"));
  EXPECT_EQ(read("検索 対象/" + std::string(selection_name)), std::string(bom) + "東京\r\n");
}

TEST_F(ParameterTest, an_argument_that_is_not_unicode_fails_its_own_check) {
  // POSIX: bytes that are not UTF-8; Windows: an unpaired surrogate on the command line.
  const ProgramRun condition = run_program_raw(root_,
                                               "2\x01\xFF.jkn\x01"
                                               "docs\x01I\x01"
                                               "C",
                                               u"2 \xD800.jkn docs I C");
  EXPECT_EQ(condition.exit_status, 1);
  EXPECT_EQ(condition.standard_error, std::string(parameter_prefix) + message_2_missing + "\n");
  const ProgramRun target = run_program_raw(root_,
                                            "2\x01"
                                            "cond.jkn\x01\xFF\x01I\x01"
                                            "C",
                                            u"2 cond.jkn \xDC00 I C");
  EXPECT_EQ(target.exit_status, 1);
  EXPECT_EQ(target.standard_error, std::string(parameter_prefix) + message_3_missing + "\n");
  expect_no_result_files();
}

TEST_F(ParameterTest, paths_the_user_may_not_look_into_count_as_missing) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  make_folder("locked");
  write("locked/cond.jkn", "東京\n");
  write("locked/data.txt", "東京\n");
  write("unreadable.jkn", "東京\n");
  std::filesystem::permissions(at("locked"), std::filesystem::perms::owner_all);
  std::filesystem::permissions(at("unreadable.jkn"), std::filesystem::perms::owner_write);
  ProgramRun run = run_as_nobody({"2", "locked/cond.jkn", "docs", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, std::string(parameter_prefix) + message_2_missing + "\n");

  run = run_as_nobody({"2", "cond.jkn", "locked/data.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, std::string(parameter_prefix) + message_3_missing + "\n");

  // It exists, so the checks pass; opening it is refused: the fatal stop.
  run = run_as_nobody({"2", "unreadable.jkn", "docs", "I", "C"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_NE(run.standard_error.find(
                "複合条件ファイルを開けませんでした: Permission denied (os error 13)"),
            std::string::npos)
      << run.standard_error;
  EXPECT_EQ(run.standard_output, "");
}

}  // namespace
}  // namespace korvidan::testing
