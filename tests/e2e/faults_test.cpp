// Faults provoked for real: bad encodings, names that are not UTF-8, result files that
// cannot be made or written, loops, huge files. Each ends as promised and loses nothing.
#include <algorithm>
#include <fstream>
#include <random>
#include <thread>

#include "support/fixture.hpp"
#include "support/invariant.hpp"

namespace korvidan::testing {
namespace {

class FaultTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write("hit.jkn", "hit\n");
  }
  std::string selection(const std::string& folder) {
    return read(folder + "/" + std::string(selection_name));
  }
  std::string rest(const std::string& folder) {
    return read(folder + "/" + std::string(rest_name));
  }
};

TEST_F(FaultTest, text_that_is_not_utf8_is_refused_in_every_shape) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"Shift_JIS", "hit \x93\x8C\x8B\x9E\r\n"},
      {"UTF-16 with BOM", std::string("\xFF\xFEh\0i\0t\0", 8)},
      {"cut short at the very end", "hit 東京\xE6\x9D"},
      {"overlong encoding", "hit \xC0\xAF\n"},
      {"encoded surrogate", "hit \xED\xA0\x80\n"},
      {"above U+10FFFF", "hit \xF4\x90\x80\x80\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write("bad.txt", c.bytes);
    const ProgramRun run = this->run({"2", "hit.jkn", "bad.txt", "I", "U"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(run.standard_error,
              std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
    EXPECT_EQ(selection("."), bom);
    EXPECT_EQ(rest("."), bom);
  }
}

// A file that is not UTF-8 first and last in listing order: everything before it keeps its
// results, its own heading lines are written, nothing after it is searched.
TEST_F(FaultTest, a_file_that_is_not_utf8_first_or_last_in_a_walk) {
  for (const bool first : {true, false}) {
    SCOPED_TRACE(first ? "first" : "last");
    const std::string folder = first ? "first" : "last";
    make_folder(folder);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) write(folder + "/" + name, "hit\n");
    const std::vector<std::string> order = listing_order(at(folder));
    const std::string bad = first ? order.front() : order.back();
    write(folder + "/" + bad, "\x93\x8C\x8B\x9E\n");
    const ProgramRun run = this->run({"2", "hit.jkn", folder, "I", "C"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
    std::string expected(bom);
    int run_count = 0;
    for (const std::string& name : order) {
      const std::string path = folder + separator() + name;
      expected += path + "\r\n";
      if (name == bad) break;
      expected += std::to_string(++run_count) + "\r\n1--1  " + path + "\r\n1\r\nhit\r\n";
    }
    EXPECT_EQ(selection(folder), expected);
  }
}

TEST_F(FaultTest, a_folder_deep_in_a_walk_that_cannot_be_listed_stops_the_run) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  make_folder("d/x/y/locked");
  write("d/x/y/locked/hidden.txt", "hit\n");
  std::filesystem::permissions(at("d"), std::filesystem::perms::all);
  std::filesystem::permissions(at("d/x/y/locked"), std::filesystem::perms::owner_all);
  const ProgramRun run = run_as_nobody({"2", "hit.jkn", "d", "S", "U"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_NE(run.standard_error.find("\nread_dir()呼び出し失敗: code 13, kind PermissionDenied, "),
            std::string::npos)
      << run.standard_error;
  EXPECT_EQ(selection("d"), bom);
}

TEST_F(FaultTest, a_rest_file_that_cannot_be_created_leaves_the_selection_file_empty) {
  make_folder("d/" + std::string(rest_name));
  write("d/a.txt", "hit\n");
  for (const char* form : {"S", "I"}) {
    const ProgramRun run = this->run({"2", "hit.jkn", "d", form, "U"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(run.standard_error.starts_with(run_error_prefix)) << run.standard_error;
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(selection("d"), "");
  }
}

TEST_F(FaultTest, a_read_only_output_folder_is_a_run_error_and_nothing_is_created) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  make_folder("d");
  write("d/a.txt", "hit\n");
  const ProgramRun run = run_as_nobody({"2", "hit.jkn", "d", "I", "C"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            std::string(run_error_prefix) + "Permission denied (os error 13)\n");
  EXPECT_FALSE(exists("d/" + std::string(selection_name)));
  EXPECT_FALSE(exists("d/" + std::string(rest_name)));
}

TEST_F(FaultTest, a_text_file_that_cannot_be_opened_ends_the_walk_as_a_run_error) {
  make_folder("d/sub");
  write("d/sub/locked.txt", "hit\n");
  std::shared_ptr<void> held;
  RunOptions options;
  std::string expected_end;
  if (can_run_unprivileged()) {
    std::filesystem::permissions(at("d/sub/locked.txt"), std::filesystem::perms::owner_write);
    std::filesystem::permissions(at("d"), std::filesystem::perms::all);
    options.unprivileged = true;
    expected_end = "Permission denied (os error 13)\n";
  } else if ((held = hold_without_sharing(at("d/sub/locked.txt")))) {
    expected_end = " (os error 32)\n";  // the sharing violation; its wording is the system's
  } else {
    GTEST_SKIP() << "no way to make a file unreadable here";
  }
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "I", "U"}, options);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_TRUE(run.standard_error.starts_with(run_error_prefix)) << run.standard_error;
  EXPECT_TRUE(run.standard_error.ends_with(expected_end)) << run.standard_error;
  // Its heading line is already in both result files.
  const std::string heading = "d" + separator() + "sub" + separator() + "locked.txt\r\n";
  EXPECT_EQ(selection("d"), std::string(bom) + heading);
  EXPECT_EQ(rest("d"), std::string(bom) + heading);
}

// The first text file in listing order is made large; the moment the program opens it,
// every entry listed after it vanishes (files and a folder). They are skipped as entries
// whose attributes cannot be read; everything before keeps its results. A run in which the
// program read past the large file before they vanished stages nothing: it is run again.
// On one thread: with more, the files after it are opened at the same moment (the slow
// file system's test makes entries vanish for the files opened ahead).
TEST_F(FaultTest, entries_that_vanish_during_a_walk_are_skipped) {
  std::string big;
  while (big.size() < (32U << 20)) big += "miss 東京の長い文章です。\n\n";
  std::vector<std::filesystem::path> doomed;
  std::vector<std::string> expected;
  std::optional<ProgramRun> run;
  for (int attempt = 0; attempt < 5 && !run; ++attempt) {
    // Afresh: the result files of an attempt that was not staged would be listed after the
    // large file, and removed by the next attempt while it writes them.
    std::filesystem::remove_all(at("d"));
    make_folder("d/folder");
    write("d/folder/inside.txt", "hit\n");
    for (const char* name : {"p.txt", "q.txt", "r.txt", "s.txt"})
      write(std::string("d/") + name, "hit\n");
    const std::vector<std::string> order = listing_order(at("d"));
    const auto first_file = std::find_if(order.begin(), order.end(),
                                         [](const std::string& n) { return n.ends_with(".txt"); });
    ASSERT_NE(first_file, order.end());
    write("d/" + *first_file, big);
    doomed.clear();
    expected.clear();
    for (auto name = order.begin(); name != order.end(); ++name) {
      const std::string shown = "d" + separator() + *name;
      if (name > first_file) {
        doomed.push_back(at("d/" + *name));
      } else if (*name == "folder") {
        expected.push_back(shown + separator() + "inside.txt");
      } else {
        expected.push_back(shown);
      }
    }
    RunOptions one_thread;
    one_thread.threads = 1;
    run = run_program_removing_on_open(root_, {"2", "hit.jkn", "d", "I", "U"},
                                       at("d/" + *first_file), doomed, one_thread);
  }
  if (!run) GTEST_SKIP() << "the race cannot be staged here";
  EXPECT_EQ(run->exit_status, 0) << run->standard_error;
  EXPECT_EQ(run->standard_output, report_for("d"));
  std::vector<std::string> headings;
  const std::string rest_file = rest("d");
  for (const std::string& line : expected) {
    if (rest_file.find(line + "\r\n") != std::string::npos) headings.push_back(line);
  }
  EXPECT_EQ(headings, expected);
  for (const auto& gone : doomed) {
    const std::u8string name = gone.filename().u8string();
    EXPECT_EQ(rest_file.find("d" + separator() + std::string(name.begin(), name.end())),
              std::string::npos);
  }
}

// Every size limit cuts the results somewhere else: in a mark, a file heading line, a
// passage heading or a passage. Each result file must be a prefix of its full content.
TEST_F(FaultTest, failed_writes_in_folder_runs_keep_prefixes_of_both_files) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  make_folder("d/sub");
  std::string text;
  for (int i = 0; i < 300; ++i) text += (i % 3 ? "miss " : "hit ") + std::to_string(i) + "\n\n";
  write("d/a.txt", text);
  write("d/sub/b.txt", text);
  for (const char* form : {"S", "I"}) {
    expect_cut_short_prefixes({"2", "hit.jkn", "d", form, "U"}, "d", {1, 3, 10, 25, 3000});
  }
}

TEST_F(FaultTest, names_that_are_not_utf8_or_hold_line_ends_are_searched) {
  if (on_windows()) GTEST_SKIP() << "such names are made with POSIX bytes";
  make_folder("d");
  const std::string odd_names[] = {"bad\xFF.txt", "cr\rname.txt", "lf\nname.txt",
                                   "back\\slash.txt"};
  for (const std::string& name : odd_names) write("d/" + name, "hit\n");
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "C"}).exit_status, 0);
  const std::string result = selection("d");
  // Shown with U+FFFD for the byte that is not UTF-8; searched through its real name.
  EXPECT_NE(result.find("1--1  d/bad\xEF\xBF\xBD.txt\r\n"), std::string::npos);
  for (const char* shown : {"d/cr\rname.txt\r\n", "d/lf\nname.txt\r\n", "d/back\\slash.txt\r\n"}) {
    EXPECT_NE(result.find(std::string("1--1  ") + shown), std::string::npos) << shown;
  }
  EXPECT_EQ(std::count(result.begin(), result.end(), '\xBD'),
            2);  // heading line and passage heading
}

TEST_F(FaultTest, two_folders_linked_to_each_other_are_each_searched_once_per_path) {
  if (on_windows()) GTEST_SKIP() << "folder links are made with POSIX symbolic links";
  make_folder("d/a");
  make_folder("d/b");
  write("d/a/x.txt", "hit\n");
  write("d/b/y.txt", "hit\n");
  std::filesystem::create_directory_symlink("../b", at("d/a/to_b"));
  std::filesystem::create_directory_symlink("../a", at("d/b/to_a"));
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "S", "U"});
  EXPECT_EQ(run.exit_status, 0);
  // a, a/to_b (= b), b, b/to_a (= a): each folder's file once per path, no endless loop.
  EXPECT_EQ(selection("d"), std::string(bom) + "hit\r\nhit\r\nhit\r\nhit\r\n");
}

// Both huge cases write to /dev/null through links, so that the test measures the program
// and not the disk.
TEST_F(FaultTest, a_five_gigabyte_file_and_a_half_gigabyte_passage_complete) {
  if (on_windows()) GTEST_SKIP() << "needs links to /dev/null and sparse files";
  std::filesystem::create_symlink("/dev/null", at(selection_name));
  std::filesystem::create_symlink("/dev/null", at(rest_name));
  write("huge.txt", "");
  std::filesystem::resize_file(at("huge.txt"), 5ULL << 30);  // sparse: one line of NUL bytes
  ProgramRun run = this->run({"2", "hit.jkn", "huge.txt", "I", "C"});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_output, report_for("."));
  std::filesystem::remove(at("huge.txt"));

  std::string passage;
  const std::string line = "東京と大阪を結ぶ長い文章が、空行なしでどこまでも続いていく。\n";
  passage.reserve((500U << 20) + line.size());
  while (passage.size() < (500U << 20)) passage += line;
  write("long.txt", passage + "\nhit\n");
  passage.clear();
  passage.shrink_to_fit();
  run = this->run({"2", "hit.jkn", "long.txt", "S", "C"});
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  std::filesystem::remove(at("long.txt"));
}

// Texts of nothing but tiny passages, or of passages made of a MiB of empty lines each,
// keep a run's memory small: what is decided but not yet written stays bounded.
TEST_F(FaultTest, dense_passages_keep_the_memory_small) {
#if KORVIDAN_SANITIZED
  GTEST_SKIP() << "sanitizers multiply the memory a run takes";
#endif
  if (on_windows()) GTEST_SKIP() << "peak memory is measured on POSIX";
  // The test process's own pages count in the peak the system gives for the program: a
  // process that ran the large tests before this one (the whole binary at once, not one
  // test a process as the suite runs it) would fail it falsely.
  if (own_peak_memory_kib() > (16U << 10)) GTEST_SKIP() << "needs a process of its own";
  std::string text;
  while (text.size() < (24U << 20)) text += "a\n\n";
  for (int i = 0; i < 8; ++i) text += "b\n" + std::string(std::size_t{1} << 20, '\n');
  write("dense.txt", text);
  const auto line_feeds = static_cast<std::uintmax_t>(std::count(text.begin(), text.end(), '\n'));
  for (const char* form : {"S", "I"}) {
    const ProgramRun run = this->run({"2", "hit.jkn", "dense.txt", form, "C"});
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_LT(run.peak_memory_kib, 64U << 10) << form;
    if (std::string_view(form) == "S") {
      EXPECT_EQ(std::filesystem::file_size(at(rest_name)), 3 + text.size() + line_feeds);
    }
  }
}

// A passage longer than a block is gathered in a buffer of its own; a long line right
// after it (begun far before the next block) once made the whole passage be copied, and
// the buffer's growth held the old and the new buffer at once: twice its size. Now it
// costs its own size and a few MiB.
TEST_F(FaultTest, a_long_passage_followed_by_a_long_line_costs_its_own_size) {
#if KORVIDAN_SANITIZED
  GTEST_SKIP() << "sanitizers multiply the memory a run takes";
#endif
  if (on_windows()) GTEST_SKIP() << "peak memory is measured on POSIX";
  if (own_peak_memory_kib() > (16U << 10)) GTEST_SKIP() << "needs a process of its own";
  std::filesystem::create_symlink("/dev/null", at(selection_name));
  std::filesystem::create_symlink("/dev/null", at(rest_name));
  constexpr std::size_t passage_size = std::size_t{200} << 20;
  {
    // Written a MiB at a time, so that this process stays small: its pages count in the
    // program's peak as the system gives it.
    std::string lines;
    while (lines.size() < (std::size_t{1} << 20)) lines += "hit 東京と大阪を結ぶ長い文章が続く。\n";
    std::ofstream out(at("long.txt"), std::ios::binary);
    for (std::size_t written = 0; written < passage_size; written += lines.size()) out << lines;
    out << "\n" << std::string(std::size_t{3} << 20, 'a') << "\n\nhit\n";
  }
  for (const char* form : {"S", "I"}) {
    const ProgramRun run = this->run({"2", "hit.jkn", "long.txt", form, "C"});
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_LT(run.peak_memory_kib, (passage_size >> 10) + (16U << 10)) << form;
  }
}

// Random trees of awkward texts: whatever the break count and the conditions, every line
// of every file ends up in exactly one record, and form S holds the same texts.
TEST_F(FaultTest, nothing_is_lost_on_random_trees) {
  std::mt19937 random(31337);
  const std::string_view pieces[] = {"hit", "東京",         "大阪", " ", "\xE3\x80\x80",
                                     "\r",  "\xEF\xBB\xBF", "+++",  "a"};
  const std::string_view ends[] = {"\n", "\r\n", "\n", "\r\n", "\n\n", "\r\n\r\n\r\n", ""};
  const std::string_view conditions[] = {"hit\n", "東京\n大阪\n+++\nhit\n", "+++\n", "",
                                         "a\r",   "\xE3\x80\x80\n"};
  for (int round = 0; round < 6; ++round) {
    const std::string folder = "t" + std::to_string(round);
    for (int f = 0; f < 5; ++f) {
      const std::string sub = folder + (f % 2 ? "/s" + std::to_string(f) : "");
      make_folder(sub);
      std::string text;
      const int lines = static_cast<int>(random() % 15);
      for (int l = 0; l < lines; ++l) {
        const int parts = static_cast<int>(random() % 3);
        for (int p = 0; p < parts; ++p) text += pieces[random() % std::size(pieces)];
        text += ends[random() % std::size(ends)];
      }
      write(sub + "/f" + std::to_string(f) + (f % 3 ? ".txt" : ".TXT"), text);
    }
    write(folder + ".jkn", conditions[random() % std::size(conditions)]);
    const std::string break_count = std::to_string(static_cast<int>(random() % 6) - 1);
    expect_nothing_lost(root_, {break_count, folder + ".jkn", folder, "U"}, folder);
    expect_nothing_lost(root_, {break_count, folder + ".jkn", folder, "C"}, folder);
  }
}

// A text of several reading blocks, every passage selected by "hit", whose one byte that
// is not UTF-8 comes after the first blocks: its first passages are written before
// the byte is read, and must be taken back.
std::string late_bad_text() {
  std::string text;
  while (text.size() < (6U << 20)) text += "hit 東京の長い文章です。\n\n";
  text += "\xFF\n";
  return text;
}

TEST_F(FaultTest, a_file_whose_bad_byte_comes_late_leaves_none_of_its_passages) {
  make_folder("d");
  write("d/a.txt", "hit first\n");
  write("d/late.txt", late_bad_text());
  const std::vector<std::string> order = listing_order(at("d"));
  for (const char* form : {"S", "I"}) {
    SCOPED_TRACE(form);
    const bool indexed = std::string(form) == "I";
    ProgramRun run = this->run({"2", "hit.jkn", "d/late.txt", form, "C"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
    EXPECT_EQ(selection("d"), bom);
    EXPECT_EQ(rest("d"), bom);
    std::filesystem::remove(at("d/" + std::string(selection_name)));
    std::filesystem::remove(at("d/" + std::string(rest_name)));

    run = this->run({"2", "hit.jkn", "d", form, "C"});
    EXPECT_EQ(run.exit_status, 1);
    std::string expected_selection(bom);
    std::string expected_rest(bom);
    for (const std::string& name : order) {
      if (indexed) {
        expected_selection += "d" + separator() + name + "\r\n";
        expected_rest += "d" + separator() + name + "\r\n";
      }
      if (name == "late.txt") break;
      expected_selection +=
          indexed ? "1\r\n1--1  d" + separator() + "a.txt\r\n1\r\nhit first\r\n" : "hit first\r\n";
    }
    EXPECT_EQ(selection("d"), expected_selection);
    EXPECT_EQ(rest("d"), expected_rest);
  }
}

// The one reading of a file: a write that fails on one of its passages does not stop the
// run before the file is known to be UTF-8. Such a file ends as a file that is not UTF-8
// does; one that is UTF-8 ends with the write stop.
TEST_F(FaultTest, a_write_failure_in_a_file_not_yet_checked_waits_for_its_check) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  write("late.txt", late_bad_text());
  RunOptions options;
  options.file_size_limit = 1 << 20;  // far less than the passages before the bad byte
  ProgramRun run = this->run({"2", "hit.jkn", "late.txt", "S", "C"}, options);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            std::string(run_error_prefix) + "stream did not contain valid UTF-8\n");
  EXPECT_EQ(selection("."), bom);
  EXPECT_EQ(rest("."), bom);

  std::string good = late_bad_text();
  good[good.size() - 2] = 'x';  // the byte that was not UTF-8
  write("good.txt", good);
  run = this->run({"2", "hit.jkn", "good.txt", "S", "C"}, options);
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_TRUE(run.standard_error.ends_with("\ncannot write !!: File too large (os error 27)\n"))
      << run.standard_error;
  EXPECT_EQ(selection(".").size(), 1U << 20);
}

// A write that fails inside a file that ends in a long passage, with more files queued:
// the reading stage is then waiting for a block that no stage will let go, and the run
// must still stop at once (a cancel that missed that wait hung it for ever).
TEST_F(FaultTest, a_write_failure_before_a_long_last_passage_with_more_files_queued_stops) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  std::string text;
  while (text.size() < (4U << 20)) text += "hit 東京の短い文章です。\n\n";
  while (text.size() < (7U << 20)) text += "hit 長い文章の続きです。\n";
  make_folder("d");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) write(std::string("d/") + name, text);
  RunOptions options;
  options.file_size_limit = 2000;
  options.kill_after = std::chrono::seconds(120);
  const ProgramRun run = this->run({"2", "hit.jkn", "d", "S", "C"}, options);
  EXPECT_EQ(run.exit_status, 101) << run.standard_error;
  EXPECT_TRUE(run.standard_error.ends_with("\ncannot write !!: File too large (os error 27)\n"))
      << run.standard_error;
}

// A target that cannot seek (a FIFO) is read like any other file, whatever its size.
TEST_F(FaultTest, a_fifo_larger_than_a_reading_block_is_searched) {
  std::string text;
  while (text.size() < (6U << 20)) text += "hit 東京の長い文章です。\n\nmiss 大阪。\n\n";
  write("plain.txt", text);
  ASSERT_EQ(run({"2", "hit.jkn", "plain.txt", "I", "C"}).exit_status, 0);
  const std::string expected_selection = selection(".");
  const std::string expected_rest = rest(".");
  if (!make_fifo(at("fifo.txt"))) GTEST_SKIP() << "no FIFOs here";
  std::thread feeder([&] { write_file(at("fifo.txt"), text); });
  const ProgramRun run = this->run({"2", "hit.jkn", "fifo.txt", "I", "C"});
  feeder.join();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(selection("."), expected_selection);
  EXPECT_EQ(rest("."), expected_rest);
}

// Read ahead or not, a folder that cannot be listed stops the run only after every file
// listed before it is written, and nothing listed after it is searched.
TEST_F(FaultTest, a_folder_that_cannot_be_listed_stops_after_everything_listed_before_it) {
  if (!can_run_unprivileged()) GTEST_SKIP() << "needs root to run the program as another user";
  make_folder("d/locked");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "e.txt", "f.txt"}) {
    write(std::string("d/") + name, std::string("hit ") + name + "\n");
  }
  std::filesystem::permissions(at("d"), std::filesystem::perms::all);
  std::filesystem::permissions(at("d/locked"), std::filesystem::perms::owner_all);
  std::string expected(bom);
  for (const std::string& name : listing_order(at("d"))) {
    if (name == "locked") break;
    expected += "hit " + name + "\r\n";
  }
  const ProgramRun run = run_as_nobody({"2", "hit.jkn", "d", "S", "U"});
  EXPECT_EQ(run.exit_status, 101);
  EXPECT_NE(run.standard_error.find("\nread_dir()呼び出し失敗: code 13, kind PermissionDenied, "),
            std::string::npos)
      << run.standard_error;
  EXPECT_EQ(selection("d"), expected);
}

}  // namespace
}  // namespace korvidan::testing
