// Folder runs: which files are searched, in which order, with which paths, and how a
// walk ends on a file or folder it cannot read.
#include <algorithm>

#include "support/fixture.hpp"
#include "support/invariant.hpp"

namespace korvidan::testing {
namespace {

// The file heading lines of a form-I result file: the lines that neither are numbers,
// nor line ranges, nor passage text (our fixtures' texts begin with "text").
std::vector<std::string> heading_lines(const std::string& result) {
  std::vector<std::string> headings;
  std::size_t position = bom.size();
  while (position < result.size()) {
    const std::size_t end = result.find("\r\n", position);
    const std::string line = result.substr(position, end - position);
    position = end + 2;
    const bool number = !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
    if (!number && line.find("--") == std::string::npos && !line.starts_with("text"))
      headings.push_back(line);
  }
  return headings;
}

std::vector<std::string> sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

class FolderScanTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write("hit.jkn", "hit\n");
  }
  std::string path(const std::string& folder, const std::string& name) {
    return folder + separator() + name;
  }
  std::string selection(const std::string& folder) {
    return read(folder + "/" + std::string(selection_name));
  }
  std::string rest(const std::string& folder) {
    return read(folder + "/" + std::string(rest_name));
  }
};

TEST_F(FolderScanTest, scope_c_stays_in_the_folder_and_u_walks_the_tree) {
  make_folder("d/sub");
  write("d/a.txt", "text hit\n");
  write("d/b.TXT", "text miss\n");
  write("d/sub/c.txt", "text hit\n");
  ProgramRun run = this->run({"2", "hit.jkn", "d", "I", "C"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_output, report_for("d"));
  EXPECT_EQ(sorted(heading_lines(selection("d"))),
            sorted({path("d", "a.txt"), path("d", "b.TXT")}));

  run = this->run({"2", "hit.jkn", "d", "I", "U"});
  EXPECT_EQ(run.exit_status, 0);
  const std::vector<std::string> expected = {path("d", "a.txt"), path("d", "b.TXT"),
                                             path(path("d", "sub"), "c.txt")};
  EXPECT_EQ(sorted(heading_lines(selection("d"))), sorted(expected));
  EXPECT_EQ(sorted(heading_lines(rest("d"))), sorted(expected));
  expect_nothing_lost(root_, {"2", "hit.jkn", "d", "U"}, "d");
  expect_nothing_lost(root_, {"1", "hit.jkn", "d", "C"}, "d");
}

TEST_F(FolderScanTest, only_txt_files_outside_result_names_are_searched) {
  make_folder("d/BrondikalSELECTdata/deeper");
  for (const char* name :
       {"notes.Txt", "notes.text", "notes.TXT.bak", "README", ".txt", "Mendolux4RVS_old.txt",
        "WapselSELECT2.txt", "GrevastonSELECT.txt", "mendolux4rvs.txt", "keep.txt",
        "BrondikalSELECTdata/in.txt", "BrondikalSELECTdata/deeper/in.txt"}) {
    write(std::string("d/") + name, "text hit\n");
  }
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "U"}).exit_status, 0);
  std::vector<std::string> expected = {path("d", "keep.txt")};
  // On Windows, whose file names ignore case, mendolux4rvs.txt is the rest file itself.
  if (!on_windows()) expected.push_back(path("d", "mendolux4rvs.txt"));
  EXPECT_EQ(sorted(heading_lines(selection("d"))), sorted(expected));
}

// A result file reached under another name is still the result file: searching it would
// read the run's own output while it grows.
TEST_F(FolderScanTest, a_result_file_under_another_name_is_not_searched) {
  make_folder("d/sub");
  write("d/a.txt", "text hit\n");
  write("d/" + std::string(selection_name), "old\n");
  write("d/" + std::string(rest_name), "old\n");
  std::filesystem::create_hard_link(at("d/" + std::string(selection_name)), at("d/sub/s.txt"));
  std::filesystem::create_hard_link(at("d/" + std::string(rest_name)), at("d/r.txt"));
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "U"}).exit_status, 0);
  EXPECT_EQ(heading_lines(selection("d")), std::vector<std::string>{path("d", "a.txt")});
  EXPECT_EQ(heading_lines(rest("d")), std::vector<std::string>{path("d", "a.txt")});
}

TEST_F(FolderScanTest, targets_with_a_final_separator_or_a_full_stop_keep_their_text) {
  make_folder("docs");
  write("docs/a.txt", "text hit\n");
  // Twice: the second run lists the first run's result files and must leave them alone.
  for (int round = 0; round < 2; ++round) {
    const ProgramRun run = this->run({"2", "hit.jkn", "docs/", "I", "U"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, "My name is korvidan.exe !!\r\nOutput : docs/" + separator() +
                                       std::string(selection_name) + " , docs/" + separator() +
                                       std::string(rest_name) + "\n");
    EXPECT_EQ(selection("docs"),
              std::string(bom) + "docs/a.txt\r\n1\r\n1--1  docs/a.txt\r\n1\r\ntext hit\r\n");
  }
  const ProgramRun dot = run_program(at("docs"), {"2", "../hit.jkn", ".", "I", "C"});
  EXPECT_EQ(dot.exit_status, 0);
  EXPECT_EQ(dot.standard_output, report_for("."));
  EXPECT_EQ(heading_lines(selection("docs")), std::vector<std::string>{path(".", "a.txt")});
}

TEST_F(FolderScanTest, run_counters_go_on_across_files) {
  make_folder("d");
  write("d/x.txt", "text hit 1\n\ntext hit 2\n\ntext miss\n");
  write("d/y.txt", "text hit 3\n");
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "C"}).exit_status, 0);
  const std::string x = path("d", "x.txt");
  const std::string y = path("d", "y.txt");
  auto record = [](int run_count, const std::string& range, const std::string& file, int in_file,
                   const std::string& text) {
    return std::to_string(run_count) + "\r\n" + range + "  " + file + "\r\n" +
           std::to_string(in_file) + "\r\n" + text;
  };
  const std::vector<std::string> order = listing_order(at("d"));
  const bool x_first = std::find(order.begin(), order.end(), "x.txt") <
                       std::find(order.begin(), order.end(), "y.txt");
  // Run counts (1,1), (2,2), (3,1) when x.txt comes first; the same rule the other way round.
  const std::string selection_expected =
      x_first ? x + "\r\n" + record(1, "1--2", x, 1, "text hit 1\r\n\r\n") +
                    record(2, "3--4", x, 2, "text hit 2\r\n\r\n") + y + "\r\n" +
                    record(3, "1--1", y, 1, "text hit 3\r\n")
              : y + "\r\n" + record(1, "1--1", y, 1, "text hit 3\r\n") + x + "\r\n" +
                    record(2, "1--2", x, 1, "text hit 1\r\n\r\n") +
                    record(3, "3--4", x, 2, "text hit 2\r\n\r\n");
  // y.txt sends nothing to the rest file, but its heading line is there all the same.
  const std::string x_rest = x + "\r\n" + record(1, "5--5", x, 1, "text miss\r\n");
  const std::string rest_expected = x_first ? x_rest + y + "\r\n" : y + "\r\n" + x_rest;
  EXPECT_EQ(selection("d"), std::string(bom) + selection_expected);
  EXPECT_EQ(rest("d"), std::string(bom) + rest_expected);
  expect_nothing_lost(root_, {"2", "hit.jkn", "d", "C"}, "d");
}

TEST_F(FolderScanTest, form_s_concatenates_files_and_empty_files_add_nothing) {
  make_folder("d/e");
  make_folder("d/f");
  write("d/e/one.txt", "text hit one");
  write("d/f/two.txt", "text hit two\n");
  write("d/empty.txt", "");
  ASSERT_EQ(run({"2", "hit.jkn", "d", "S", "U"}).exit_status, 0);
  const std::string one = "text hit one\r\n";
  const std::string two = "text hit two\r\n";
  const std::vector<std::string> order = listing_order(at("d"));
  const bool e_first =
      std::find(order.begin(), order.end(), "e") < std::find(order.begin(), order.end(), "f");
  EXPECT_EQ(selection("d"), std::string(bom) + (e_first ? one + two : two + one));
  EXPECT_EQ(rest("d"), bom);

  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "C"}).exit_status, 0);
  const std::string empty = path("d", "empty.txt");
  EXPECT_EQ(rest("d"), std::string(bom) + empty + "\r\n1\r\n1--1  " + empty + "\r\n1\r\n");
  EXPECT_EQ(selection("d"), std::string(bom) + empty + "\r\n");
}

TEST_F(FolderScanTest, a_folder_without_text_files_leaves_only_the_marks) {
  make_folder("d/sub");
  write("d/notes.md", "text hit\n");
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "U"}).exit_status, 0);
  EXPECT_EQ(selection("d"), bom);
  EXPECT_EQ(rest("d"), bom);
}

TEST_F(FolderScanTest, a_file_that_is_not_utf8_ends_the_walk_after_its_heading) {
  make_folder("d");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
    write(std::string("d/") + name, "text hit\n");
  write("d/c.txt", "\x93\x8C\x8B\x9E\r\n");
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_EQ(run.standard_error,
            std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
  std::vector<std::string> expected;
  for (const std::string& name : listing_order(at("d"))) {
    if (!name.ends_with(".txt") || name.starts_with("Mendolux4")) continue;
    expected.push_back(path("d", name));
    if (name == "c.txt") break;
  }
  EXPECT_EQ(heading_lines(selection("d")), expected);
  EXPECT_EQ(heading_lines(rest("d")), expected);
}

TEST_F(FolderScanTest, link_cycles_are_not_followed_around) {
  if (on_windows()) GTEST_SKIP() << "folder links are made with POSIX symbolic links";
  make_folder("d/sub/deeper");
  write("d/a.txt", "text hit\n");
  write("d/sub/deeper/b.txt", "text hit\n");
  std::filesystem::create_directory_symlink("..", at("d/sub/up"));
  std::filesystem::create_directory_symlink(".", at("d/sub/deeper/self"));
  std::filesystem::create_directory_symlink("../../sub", at("d/sub/deeper/back"));
  make_folder("other");
  write("other/c.txt", "text hit\n");
  std::filesystem::create_directory_symlink("../other", at("d/link1"));
  std::filesystem::create_directory_symlink("../other", at("d/link2"));
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "I", "U"});
  EXPECT_EQ(run.exit_status, 0);
  // A folder reached twice without a cycle is searched each time.
  EXPECT_EQ(sorted(heading_lines(selection("d"))),
            sorted({"d/a.txt", "d/sub/deeper/b.txt", "d/link1/c.txt", "d/link2/c.txt"}));
}

TEST_F(FolderScanTest, a_deep_tree_is_walked_to_the_bottom) {
  std::string folder = "d";
  // As deep as whole paths of this fixture stay within PATH_MAX (4096 bytes).
  const int depth = on_windows() ? 200 : 2000;
  make_folder(folder);
  for (int level = 0; level < depth; ++level) {
    folder += "/n";
    std::filesystem::create_directory(at(folder));
  }
  write(folder + "/deep.txt", "text hit\n");
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "S", "U"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(selection("d"), std::string(bom) + "text hit\r\n");
}

TEST_F(FolderScanTest, a_folder_that_cannot_be_listed_stops_with_the_results_kept) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  make_folder("d/locked");
  write("d/a.txt", "text hit\n");
  write("d/locked/hidden.txt", "text hit\n");
  std::filesystem::permissions(at("d"), std::filesystem::perms::all);
  std::filesystem::permissions(at("d/locked"), std::filesystem::perms::owner_all);
  const ProgramRun run = run_as_nobody({"2", "hit.jkn", "d", "I", "U"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_NE(run.standard_error.find(
                "\nread_dir()呼び出し失敗: code 13, kind PermissionDenied, Permission denied "
                "(os error 13)\n"),
            std::string::npos)
      << run.standard_error;
  const std::vector<std::string> order = listing_order(at("d"));
  const bool a_first = std::find(order.begin(), order.end(), "a.txt") <
                       std::find(order.begin(), order.end(), "locked");
  EXPECT_EQ(
      selection("d"),
      std::string(bom) + (a_first ? "d/a.txt\r\n1\r\n1--1  d/a.txt\r\n1\r\ntext hit\r\n" : ""));

  // The target itself: result files can be made in it, but it cannot be listed.
  std::filesystem::permissions(at("d"), std::filesystem::perms::owner_all |
                                            std::filesystem::perms::others_write |
                                            std::filesystem::perms::others_exec);
  const ProgramRun target = run_as_nobody({"2", "hit.jkn", "d", "S", "C"});
  EXPECT_EQ(target.exit_status, 101);
  EXPECT_NE(target.standard_error.find("\nread_dir()呼び出し失敗: "), std::string::npos)
      << target.standard_error;
  EXPECT_EQ(selection("d"), bom);
}

TEST_F(FolderScanTest, targets_longer_than_260_characters_are_searched) {
  const std::string segment(100, 'a');
  const std::string relative = "long/" + segment + "/" + segment + "/" + segment;
  make_folder(relative);
  write(relative + "/" + segment + ".txt", "text hit\n");
  const std::u8string root = root_.u8string();
  const std::string target = std::string(root.begin(), root.end()) + separator() + "long" +
                             separator() + segment + separator() + segment + separator() + segment;
  ASSERT_GT(target.size(), 300u);
  const ProgramRun run = this->run({"2", "hit.jkn", target, "S", "U"});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_output, report_for(target));
  EXPECT_EQ(selection(relative), std::string(bom) + "text hit\r\n");
}

}  // namespace
}  // namespace korvidan::testing
