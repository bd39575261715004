// Through a file system whose every open and read waits, as a share's does, files are
// opened ahead several at once; the result files and the failure that ends the run must
// still be those of one thread meeting the files in listing order.
#include <functional>
#include <random>

#include "support/fixture.hpp"
#include "support/plain_results.hpp"

namespace korvidan::testing {
namespace {

class SlowStorageTest : public ProgramTest {};

// A tree of small files and one of several blocks, the file after it failing to open or to
// read, and an entry that vanished after its folder was listed (the opening threads meet both long
// before the writing does): everything before the failing file is written, the vanished
// entry passed over, the failing file's heading written, nothing after it.
TEST_F(SlowStorageTest, order_and_failures_through_a_slow_file_system) {
  std::mt19937 random(2912);
  make_folder("src/sub/deeper");
  make_folder("mnt");
  write("hit.jkn", "hit\n");
  const std::string folders[] = {"src", "src/sub", "src/sub/deeper"};
  for (int f = 0; f < 30; ++f) {
    std::string text;
    for (int p = static_cast<int>(random() % 4); p >= 0; --p) {
      text += (random() % 2 ? "hit " : "miss ") + std::to_string(f) + "\n\n";
    }
    write(folders[random() % 3] + "/f" + std::to_string(10 + f) + ".txt", text);
  }
  // The walk's order of the text files, through the mount as beneath it.
  std::vector<std::string> walk;
  const std::function<void(const std::string&)> list = [&](const std::string& folder) {
    for (const std::string& name : listing_order(at(folder))) {
      const std::string path = folder + "/" + name;
      if (std::filesystem::is_directory(at(path))) {
        list(path);
      } else {
        walk.push_back(path);
      }
    }
  };
  list("src");
  ASSERT_EQ(walk.size(), 30U);
  const std::string vanishing = walk[8];
  const std::string large = walk[19];
  const std::string failing = walk[20];
  std::string large_text;
  while (large_text.size() < (1U << 20))
    large_text += "hit 東京の長い文章です。\n\nmiss 大阪。\n\n";
  write(large, large_text);
  const auto name_of = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
  PlainResults expected;
  for (const std::string& path : walk) {
    const std::string shown = "mnt" + path.substr(3);
    if (path == vanishing) continue;
    if (path == failing) {
      expected.add_heading(shown);
      break;
    }
    expected.add_file(shown, read(path), "hit\n", 2, true);
  }
  const struct {
    const char* option;
    const char* message;
  } failures[] = {{"--fail-open", "Permission denied (os error 13)\n"},
                  {"--fail-read", "Input/output error (os error 5)\n"}};
  for (const auto& failure : failures) {
    const std::shared_ptr<void> mounted = mount_slow_file_system(
        at("src"), at("mnt"),
        {"--latency-us", "2000", "--vanish", name_of(vanishing), failure.option, name_of(failing)});
    if (!mounted) GTEST_SKIP() << "no slow file system here (Linux, root, FUSE and libfuse3)";
    // Opened ahead once opens are seen to wait, or from the first file on.
    for (const unsigned threads : {1U, 2U, 16U}) {
      for (const bool from_the_start : {false, true}) {
        SCOPED_TRACE(std::string(failure.option) + ", " + std::to_string(threads) + " threads" +
                     (from_the_start ? ", from the start" : ""));
        RunOptions options;
        options.threads = threads;
        options.open_ahead_from_the_start = from_the_start;
        const ProgramRun run = this->run({"2", "hit.jkn", "mnt", "I", "U"}, options);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output, "");
        EXPECT_EQ(run.standard_error, std::string(run_error_prefix) + failure.message);
        EXPECT_TRUE(read("src/" + std::string(selection_name)) == expected.selection);
        EXPECT_TRUE(read("src/" + std::string(rest_name)) == expected.rest);
      }
    }
  }
}

}  // namespace
}  // namespace korvidan::testing
