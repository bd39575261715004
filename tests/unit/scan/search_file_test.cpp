#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "scan/scan.hpp"
#include "support/memory_target.hpp"

namespace korvidan::scan {
namespace {

struct Searched {
  platform::Status status = platform::success();
  std::string selection;
  std::string rest;
};

// Files larger than a reading block: written to disk, read in blocks on one, two and three
// threads, and compared with the engine run on the whole text at once.
class SearchFile : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove(path_); }

  Searched search(const std::string& text, std::string_view conditions, unsigned threads) {
    std::ofstream(path_, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    const conditions::ConditionMatcher matcher(conditions);
    Searched out;
    testing::MemoryTarget selection;
    testing::MemoryTarget rest;
    results::ResultFiles files(selection, rest, true);
    const platform::Outcome searched = search_file(path_.string(), {2, matcher, files, threads});
    if (searched.error() != nullptr) out.status = *searched.error();
    EXPECT_EQ(searched.stop(), nullptr);
    EXPECT_FALSE(files.finish().has_value());
    out.selection = selection.bytes;
    out.rest = rest.bytes;
    return out;
  }

  static Searched whole(const std::string& text, std::string_view conditions) {
    Searched out;
    testing::MemoryTarget selection;
    testing::MemoryTarget rest;
    results::ResultFiles files(selection, rest, true);
    process_file_indexed(2, conditions::ConditionMatcher(conditions), text, files);
    EXPECT_FALSE(files.finish().has_value());
    out.selection = selection.bytes;
    out.rest = rest.bytes;
    return out;
  }

  // The search ahead of `text` gives the bytes of the engine run on it whole.
  void expect_as_whole(const std::string& text, std::string_view conditions) {
    const Searched reference = whole(text, conditions);
    EXPECT_FALSE(reference.selection.empty());
    EXPECT_FALSE(reference.rest.empty());
    for (const unsigned threads : {1U, 2U, 3U, 8U}) {
      SCOPED_TRACE(threads);
      const Searched read_ahead = search(text, conditions, threads);
      ASSERT_TRUE(read_ahead.status.ok());
      EXPECT_TRUE(read_ahead.selection == reference.selection);
      EXPECT_TRUE(read_ahead.rest == reference.rest);
    }
  }

  // Japanese lines in passages of 1 to 40 lines, LF or CR LF, and one passage of
  // `long_passage` bytes in the middle.
  static std::string text_of(std::size_t size, std::size_t long_passage) {
    std::mt19937 random(5);
    const std::string_view words[] = {"東京の冬", "駅前の食堂", "ab", "京都", " ", "夏"};
    std::string text = "\xEF\xBB\xBF";
    bool long_done = false;
    while (text.size() < size) {
      const std::size_t lines =
          !long_done && text.size() > size / 3 ? long_passage / 20 : 1 + random() % 40;
      long_done = long_done || lines > 40;
      for (std::size_t i = 0; i < lines; ++i) {
        for (int w = 0; w < 3; ++w) text += words[random() % std::size(words)];
        text += random() % 2 ? "\n" : "\r\n";
      }
      text += "\n";
    }
    return text;
  }

  // Test processes run side by side: each test writes a file of its own.
  std::filesystem::path path_ =
      std::filesystem::temp_directory_path() /
      ("korvidan-blocks-" +
       std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
       std::to_string(std::random_device()()) + ".txt");
};

TEST_F(SearchFile, large_files_equal_the_whole_text_at_once) {
  const std::string conditions = "京都\n+++\n駅\n冬\n";
  for (const std::size_t long_passage : {std::size_t{0}, std::size_t{9} << 20}) {
    expect_as_whole(text_of(std::size_t{13} << 20, long_passage), conditions);
  }
}

// Passages longer than the room a block keeps for an unfinished one, one after another, so
// that several of their buffers are on their way to the writing side at once.
TEST_F(SearchFile, long_passages_one_after_another_equal_the_whole_text_at_once) {
  std::mt19937 random(11);
  std::string text;
  while (text.size() < (std::size_t{12} << 20)) {
    const std::size_t passage_end = text.size() + (std::size_t{60} << 10) + random() % (1 << 19);
    const bool selected = random() % 2 == 0;
    while (text.size() < passage_end) {
      text += selected && random() % 500 == 0 ? "京都の駅\n" : "冬の夏\r\n";
    }
    text += random() % 4 == 0 ? "\n" : "\n\n\n";
    if (random() % 3 == 0) text += "短い京都\n\n";
  }
  expect_as_whole(text, "京都\n");
}

// Blocks of more passages than a worker lists (16,384): the ones past them are left to the
// writing side to cut and test. A worker that dropped them, or wrote them out of place,
// fails this.
TEST_F(SearchFile, blocks_of_more_passages_than_a_worker_lists_equal_the_whole_text_at_once) {
  std::mt19937 random(17);
  std::string text;
  while (text.size() < (std::size_t{3} << 20)) {
    text += random() % 7 == 0 ? "京\n\n" : "a\n\n";
    if (random() % 5000 == 0) text += "\n\n\n";
  }
  expect_as_whole(text, "京\n");
}

TEST_F(SearchFile, a_large_file_that_is_not_utf8_writes_nothing) {
  std::string text = text_of(std::size_t{9} << 20, 0);
  for (const std::size_t bad_at : {std::size_t{100}, text.size() / 2, text.size() - 1}) {
    std::string broken = text;
    broken[bad_at] = '\xFF';
    for (const unsigned threads : {1U, 2U, 3U, 8U}) {
      const Searched searched = search(broken, "京都", threads);
      ASSERT_FALSE(searched.status.ok());
      EXPECT_EQ(searched.status.error().kind, platform::Error::Kind::invalid_utf8);
      EXPECT_EQ(searched.selection + searched.rest, "");
    }
  }
  // Cut short inside its last character.
  text += "\xE6\x9D";
  EXPECT_FALSE(search(text, "京都", 2).status.ok());
}

}  // namespace
}  // namespace korvidan::scan
