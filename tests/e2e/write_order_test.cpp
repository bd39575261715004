// Result files after a run that stops: a failed write leaves exactly what unbuffered writes
// would have left (the failing file what the system took, the other file every byte decided
// before the failing write, none after), and a run killed from outside leaves prefixes.
#include <random>

#include "support/fixture.hpp"
#include "support/write_oracle.hpp"

namespace korvidan::testing {
namespace {

class WriteOrderTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    write("hit.jkn", "hit\n");
  }

  // Checks the model against a complete run, then runs under each file size limit and
  // compares both result files with what the unbuffered requests leave at that limit.
  void expect_limits_follow_unbuffered_order(const std::vector<std::string>& arguments,
                                             const std::string& folder,
                                             const std::vector<WriteRequest>& requests,
                                             const std::vector<std::uint64_t>& limits) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const std::string selection_path = folder + "/" + std::string(selection_name);
    const std::string rest_path = folder + "/" + std::string(rest_name);
    const ResultBytes whole = complete(requests);
    ASSERT_EQ(run(arguments).exit_status, 0);
    ASSERT_EQ(read(selection_path), whole.selection) << "the model is wrong";
    ASSERT_EQ(read(rest_path), whole.rest) << "the model is wrong";
    for (const std::uint64_t limit : limits) {
      SCOPED_TRACE("limit " + std::to_string(limit));
      RunOptions options;
      options.file_size_limit = limit;
      const ProgramRun limited = run(arguments, options);
      const ResultBytes expected = under_limit(requests, limit);
      if (expected.cut_short) {
        EXPECT_EQ(limited.exit_status, 101);
        EXPECT_EQ(limited.standard_output, "");
        EXPECT_TRUE(
            limited.standard_error.ends_with("\ncannot write !!: File too large (os error 27)\n"))
            << limited.standard_error;
      } else {
        EXPECT_EQ(limited.exit_status, 0) << limited.standard_error;
      }
      EXPECT_EQ(read(selection_path), expected.selection);
      EXPECT_EQ(read(rest_path), expected.rest);
      if (::testing::Test::HasFailure()) return;  // one limit's report is enough to go on
    }
  }

  static std::vector<std::uint64_t> every_limit_up_to(const ResultBytes& whole) {
    std::vector<std::uint64_t> limits;
    for (std::uint64_t limit = 0; limit <= std::max(whole.selection.size(), whole.rest.size());
         ++limit) {
      limits.push_back(limit);
    }
    return limits;
  }
};

// Passages that go to either file in runs of different lengths, so that every limit finds
// the other file's buffer holding passages decided before and after the failing write.
const std::vector<std::vector<std::string>> mixed_passages = {
    {"hit: a long first passage", "with a second line"},
    {"miss"},
    {"miss again, longer"},
    {"hit"},
    {"miss", "miss", "miss"},
    {"a short hit"},
    {"miss at the end"}};

TEST_F(WriteOrderTest, every_file_size_limit_in_a_single_file_run) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  TextFileModel file{"", mixed_passages};
  write("t.txt", file.text());
  for (const bool indexed : {false, true}) {
    const auto requests = unbuffered_requests({file}, "hit", indexed, false);
    expect_limits_follow_unbuffered_order({"2", "hit.jkn", "t.txt", indexed ? "I" : "S", "C"}, ".",
                                          requests, every_limit_up_to(complete(requests)));
  }
}

TEST_F(WriteOrderTest, every_file_size_limit_in_a_folder_run) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  make_folder("d");
  std::vector<TextFileModel> files;
  const std::vector<std::vector<std::vector<std::string>>> contents = {
      mixed_passages, {{"miss first"}, {"hit second", "long line"}, {"miss"}}, {{"hit only"}}};
  for (std::size_t i = 0; i < contents.size(); ++i) {
    write("d/f" + std::to_string(i) + ".txt", TextFileModel{"", contents[i]}.text());
  }
  for (const std::string& name : listing_order(at("d"))) {
    const std::size_t i = static_cast<std::size_t>(name[1] - '0');
    files.push_back({"d" + separator() + name, contents[i]});
  }
  for (const bool indexed : {false, true}) {
    const auto requests = unbuffered_requests(files, "hit", indexed, true);
    expect_limits_follow_unbuffered_order({"2", "hit.jkn", "d", indexed ? "I" : "S", "C"}, "d",
                                          requests, every_limit_up_to(complete(requests)));
  }
}

// More than a buffer of rest passages between two selected ones: the rest file is written
// out while an early selected passage still waits, so a limit that the selected passage
// exceeds finds later rest bytes already in the file, and they must go again.
TEST_F(WriteOrderTest, limits_with_more_than_a_buffer_between_two_selected_passages) {
  if (on_windows()) GTEST_SKIP() << "file size limits are a POSIX facility";
  std::vector<std::vector<std::string>> passages = {{"hit early"}};
  for (int i = 0; i < 60000; ++i) passages.push_back({"miss passage " + std::to_string(i)});
  passages.push_back({"hit late"});
  TextFileModel file{"", passages};
  write("t.txt", file.text());
  for (const bool indexed : {false, true}) {
    const auto requests = unbuffered_requests({file}, "hit", indexed, false);
    const std::uint64_t rest_size = complete(requests).rest.size();
    expect_limits_follow_unbuffered_order(
        {"2", "hit.jkn", "t.txt", indexed ? "I" : "S", "C"}, ".", requests,
        {0, 3, 5, 12, 13, 20, 1 << 20, (1 << 20) + 1, rest_size - 1, rest_size, rest_size + 1});
  }
}

// A result file on a full device: the run stops at that file's first write, and the other
// file holds only what was decided before it, even when it has taken more since.
TEST_F(WriteOrderTest, a_full_device_stops_at_its_first_write_and_the_other_file_keeps_less) {
  if (on_windows()) GTEST_SKIP() << "the /dev/full link is a POSIX fixture";
  std::string many_misses;
  for (int i = 0; i < 60000; ++i) many_misses += "miss passage " + std::to_string(i) + "\n\n";
  const struct {
    const char* what;
    std::string_view full_name;
    std::string_view other_name;
    std::string text;
    std::string other_holds;
  } cases[] = {
      {"selection full", selection_name, rest_name, "hit\n\nmiss\nmiss\n", ""},
      {"rest full", rest_name, selection_name, "hit\n\nmiss\nmiss\n", std::string(bom)},
      {"selection full, a buffer of rest", selection_name, rest_name, "hit\n\n" + many_misses, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(at("d"));
    make_folder("d");
    write("d/a.txt", c.text);
    std::filesystem::create_symlink("/dev/full", at("d/" + std::string(c.full_name)));
    const ProgramRun run = this->run({"2", "hit.jkn", "d", "I", "C"});
    EXPECT_EQ(run.exit_status, 101);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_TRUE(
        run.standard_error.ends_with("\ncannot write !!: No space left on device (os error 28)\n"))
        << run.standard_error;
    EXPECT_EQ(read("d/" + std::string(c.other_name)), c.other_holds);
  }
}

// A run killed at any moment leaves each result file a prefix of what a complete run writes.
TEST_F(WriteOrderTest, a_run_killed_at_random_moments_leaves_prefixes) {
  if (on_windows()) GTEST_SKIP() << "killing at a chosen moment is staged with POSIX signals";
  std::mt19937 random(4242);
  for (int f = 0; f < 24; ++f) {
    const std::string folder = "d/" + std::to_string(f % 4) + "/" + std::to_string(f % 3);
    make_folder(folder);
    std::string text;
    while (text.size() < (600U << 10)) {
      text += random() % 3 == 0 ? "hit 東京の文章" : "miss 大阪の文章";
      text += std::to_string(random()) + (random() % 2 ? "\n\n" : "\n");
    }
    write(folder + "/f" + std::to_string(f) + ".txt", text);
  }
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(run({"2", "hit.jkn", "d", "I", "U"}).exit_status, 0);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  const std::string whole_selection = read("d/" + std::string(selection_name));
  const std::string whole_rest = read("d/" + std::string(rest_name));
  for (int attempt = 0; attempt < 12; ++attempt) {
    RunOptions options;
    options.kill_after = std::chrono::microseconds(
        static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(took.count() + 1)));
    SCOPED_TRACE("killed after " + std::to_string(options.kill_after->count()) + " us");
    (void)run({"2", "hit.jkn", "d", "I", "U"}, options);
    const std::string selection = read("d/" + std::string(selection_name));
    const std::string rest = read("d/" + std::string(rest_name));
    EXPECT_EQ(selection, whole_selection.substr(0, selection.size()));
    EXPECT_EQ(rest, whole_rest.substr(0, rest.size()));
  }
}

}  // namespace
}  // namespace korvidan::testing
