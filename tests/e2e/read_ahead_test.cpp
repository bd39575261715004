// The program reads ahead on a thread of its own, in blocks. On generated trees, with files
// small and large, passages longer than a block, LF and CR LF, its result files must equal,
// byte for byte, the plain rules applied to one file after another in walk order.
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "support/fixture.hpp"
#include "support/plain_results.hpp"

namespace korvidan::testing {
namespace {

class ReadAheadTest : public ProgramTest {};

TEST_F(ReadAheadTest, generated_trees_equal_the_plain_rules_byte_for_byte) {
  std::mt19937 random(777);
  const std::string_view words[] = {"東京", "大阪", "冬の駅", "hit", "ab", " ", "\xE3\x80\x80"};
  const std::string conditions = "東京\nhit\n+++\n冬\nab\n";
  for (int round = 0; round < 3; ++round) {
    const std::string root = "t" + std::to_string(round);
    std::map<std::string, std::string> texts;  // by path relative to the test folder
    for (int f = 0; f < 10; ++f) {
      std::string folder = root;
      for (int depth = static_cast<int>(random() % 3); depth > 0; --depth) {
        folder += "/d" + std::to_string(random() % 2);
      }
      make_folder(folder);
      // Mostly small files; some larger than a block, some with a passage longer than one.
      const std::size_t size =
          random() % 4 == 0 ? (1U << 20) + random() % (2U << 20) : random() % 4000;
      const bool long_passages = random() % 3 == 0;
      const std::string line_end = random() % 2 ? "\n" : "\r\n";
      std::string text = random() % 5 == 0 ? "\xEF\xBB\xBF" : "";
      while (text.size() < size) {
        for (int w = 0; w < 4; ++w) text += words[random() % std::size(words)];
        text += line_end;
        if (!long_passages && random() % 3 == 0) text += line_end;
      }
      const std::string path = folder + "/f" + std::to_string(f) + ".txt";
      write(path, text);
      texts[path] = text;
    }
    const std::int32_t break_count = 1 + static_cast<std::int32_t>(random() % 3);
    write(root + ".jkn", conditions);
    for (const bool indexed : {false, true}) {
      SCOPED_TRACE(root + (indexed ? " I" : " S"));
      PlainResults expected;
      // Depth first, files and folders interleaved in listing order, as the program walks.
      const std::function<void(const std::string&)> walk = [&](const std::string& folder) {
        for (const std::string& name : listing_order(at(folder))) {
          const std::string path = folder + "/" + name;
          if (std::filesystem::is_directory(at(path))) {
            walk(path);
          } else if (name.ends_with(".txt")) {
            std::string shown = path;
            for (char& c : shown) {
              if (c == '/') c = separator()[0];
            }
            expected.add_file(shown, texts.at(path), conditions, break_count, indexed);
          }
        }
      };
      walk(root);
      // Reading ahead on a second thread, (Linux) on the one thread of a process that may
      // use one processor only, and with every count of threads forced, more than the
      // processors too, and from two on the files opened ahead from the first on.
      const std::optional<unsigned> thread_counts[] = {std::nullopt, 1U, 2U, 3U, 8U, 16U};
      for (const std::optional<unsigned> threads : thread_counts) {
        for (const bool one_processor : {false, true}) {
          if (one_processor && threads) continue;
          SCOPED_TRACE(one_processor ? "one processor"
                       : threads     ? std::to_string(*threads) + " threads"
                                     : "all processors");
          RunOptions options;
          options.one_processor = one_processor;
          options.threads = threads;
          options.open_ahead_from_the_start = threads.has_value();
          const ProgramRun run = this->run(
              {std::to_string(break_count), root + ".jkn", root, indexed ? "I" : "S", "U"},
              options);
          ASSERT_EQ(run.exit_status, 0) << run.standard_error;
          EXPECT_TRUE(read(root + "/" + std::string(selection_name)) == expected.selection);
          EXPECT_TRUE(read(root + "/" + std::string(rest_name)) == expected.rest);
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvidan::testing
