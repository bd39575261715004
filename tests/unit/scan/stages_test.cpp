// Every wait of the search stages ends when the search ends: each test leaves a stage
// waiting (for room, for an item, for a block, for a long passage's turn), then ends the
// search. A cancel that does not reach the wait hangs the stage's thread for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "scan/in_order.hpp"
#include "scan/open_ahead.hpp"
#include "scan/test_ahead.hpp"
#include "support/memory_target.hpp"

namespace korvidan::scan {
namespace {

// Runs `work` on a thread of its own; one that never ends fails the test run at once,
// rather than leaving the suite waiting.
template <class Work>
void ends_within_a_minute(Work work) {
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  std::thread worker([&] {
    work();
    finished.set_value();
  });
  if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "a stage still waits a minute after the search ended";
    std::fflush(stdout);
    std::_Exit(1);
  }
  worker.join();
}

// Time for another thread to reach its wait: a test passes either way, but catches a cancel
// that misses the wait only once the thread is in it.
void let_it_reach_its_wait() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

// Runs `wait`, which must return once `stage` is cancelled, while another thread cancels
// `stage` after the wait has begun.
template <class Stage, class Wait>
void ends_on_cancel(Stage& stage, Wait wait) {
  ends_within_a_minute([&stage, &wait] {
    std::thread canceller([&stage] {
      let_it_reach_its_wait();
      stage.cancel();
    });
    wait();
    canceller.join();
  });
}

TEST(Handoff, a_push_into_a_full_queue_ends_on_cancel) {
  Handoff<int> queue(1);
  ASSERT_TRUE(queue.push(1).ok);
  ends_on_cancel(queue, [&] { EXPECT_FALSE(queue.push(2).ok); });
}

TEST(Handoff, a_pop_from_an_empty_queue_ends_on_cancel) {
  Handoff<int> queue(4);
  ends_on_cancel(queue, [&] { EXPECT_EQ(queue.pop(), 0); });
}

TEST(Turns, a_take_with_no_turn_left_ends_on_cancel) {
  Turns turns(1);
  ASSERT_TRUE(turns.take());
  ends_on_cancel(turns, [&] { EXPECT_FALSE(turns.take()); });
}

TEST(BlockPool, a_take_from_an_empty_pool_ends_on_cancel) {
  BlockPool pool(1, 16);
  Block* const held = pool.take();
  ASSERT_NE(held, nullptr);
  ends_on_cancel(pool, [&] { EXPECT_EQ(pool.take(), nullptr); });
}

// A job that waits until the test lets it go: the workers stay busy while the test waits.
class Gate {
 public:
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }
  void open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// The taking side waits for the oldest job while every worker is still at one.
TEST(InOrder, a_take_waiting_for_the_oldest_job_ends_on_cancel) {
  Gate gate;
  InOrder<int> jobs(2, 4, 1, [&gate](int&, std::size_t) { gate.wait(); });
  ASSERT_TRUE(jobs.give(1));
  ASSERT_TRUE(jobs.give(2));
  ends_on_cancel(jobs, [&] { EXPECT_FALSE(jobs.take().has_value()); });
  gate.open();  // so that the workers can be joined
}

// The giving side waits for room while the window is full of jobs not taken.
TEST(InOrder, a_give_into_a_full_window_ends_on_cancel) {
  InOrder<int> jobs(1, 2, 1, [](int&, std::size_t) {});
  ASSERT_TRUE(jobs.give(1));
  ASSERT_TRUE(jobs.give(2));
  ends_on_cancel(jobs, [&] { EXPECT_FALSE(jobs.give(3)); });
}

// Eight files being opened (their opens held up, as a share's are) when the search ends:
// the reading side's wait for the first of them ends, and the blocks all come back.
TEST(OpenAhead, a_wait_for_files_being_opened_ends_on_cancel) {
  Gate gate;
  BlockPool blocks(8, 4096);
  {
    OpenAhead opening(8, 8, blocks, [&gate](FileToOpen file, Block* block) {
      gate.wait();
      return OpenedFile{std::move(file.begins), false, {}, {TextBytes{block, true}}};
    });
    for (int i = 0; i < 8; ++i) opening.ask({"f.txt", {"f.txt", true}, false}, blocks.take());
    EXPECT_TRUE(opening.full());
    ends_on_cancel(opening, [&] { EXPECT_FALSE(opening.take().has_value()); });
    gate.open();
  }
  std::vector<Block*> back;
  for (int i = 0; i < 8; ++i) back.push_back(blocks.try_take());
  EXPECT_EQ(std::count(back.begin(), back.end(), nullptr), 0);
}

// A text file in the temporary folder, removed with the test.
class StagesTest : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove(path_); }
  std::string write(const std::string& text) {
    std::ofstream(path_, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    return path_.string();
  }

  // The stages' search: the passages go to results that are not looked at.
  const conditions::ConditionMatcher matcher_{"never\n"};
  testing::MemoryTarget selection_;
  testing::MemoryTarget rest_;
  results::ResultFiles files_{selection_, rest_, false};
  const SearchSetup setup_{2, matcher_, files_};

 private:
  // Test processes run side by side: each test writes a file of its own.
  std::filesystem::path path_ =
      std::filesystem::path(::testing::TempDir()) /
      ("korvidan-stages-" +
       std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
       std::to_string(std::random_device()()) + ".txt");
};

// The writing side stops with every block still in its hands: the reading thread waits
// for a block, and only the pool's cancel ends that wait.
TEST_F(StagesTest, the_reading_stage_ends_while_it_waits_for_a_block) {
  FileSource source(write(std::string(std::size_t{1} << 20, 'a')));
  ends_within_a_minute([&source] {
    ReadAhead reading(2, 4096, source, true);
    ReadItem first = reading.pop();
    ReadItem second = reading.pop();
    ASSERT_TRUE(std::holds_alternative<TextBytes>(second));
    let_it_reach_its_wait();
  });
}

// Where the reading runs on the testing thread (two processors), that thread is the one
// left waiting for a block when the writing side stops with every block in the queue.
TEST_F(StagesTest, the_testing_stage_ends_while_it_reads_and_waits_for_a_block) {
  FileSource source(write(std::string(std::size_t{1} << 20, 'a')));
  ends_within_a_minute([&] {
    ReadAhead reading(2, 4096, source, false);
    TestAhead testing(reading, setup_, true);
    ASSERT_TRUE(std::holds_alternative<FileBegins>(testing.pop().item));
    let_it_reach_its_wait();
  });
}

// The writing side stops while the testing stage is ahead with two long passages' buffers
// in flight: the testing thread waits for a third one's turn, and only the cancel of those
// turns ends that wait.
TEST_F(StagesTest, the_testing_stage_ends_while_it_waits_for_a_long_passage_turn) {
  // Passages of 200 KiB, longer than a block's headroom, with CR LF (no bare LFs to count).
  const std::string line = std::string(98, 'x') + "\r\n";
  std::string passage;
  while (passage.size() < (std::size_t{200} << 10)) passage += line;
  std::string text;
  while (text.size() < (std::size_t{6} << 20)) text += passage + "\r\n";
  FileSource source(write(text));
  ends_within_a_minute([&] {
    ReadAhead reading(8, std::size_t{1} << 20, source, true);
    TestAhead testing(reading, setup_, true);
    let_it_reach_its_wait();
  });
}

// What a piece lends is read by two threads at once: each piece the writing side takes must
// lie in what its item hands over (its block, a long passage's buffer, or a copy of its
// own), and the pieces' passages and rests, in order, must still be the whole text. Blocks of
// 256 KiB: dense passages (more bare LFs than a piece lists, before the writing side's
// waits can leave much to it: a copy), a passage longer than the headroom, and one whose
// end lies more than the headroom before the next block.
TEST_F(StagesTest, each_piece_lies_in_what_its_item_hands_over) {
  std::string text;
  while (text.size() < (std::size_t{100} << 10)) text += "a\n\n\n\n\n";
  while (text.size() < (std::size_t{150} << 10)) text += "long passage line\n";
  text += "\n" + std::string(std::size_t{120} << 10, 'L') + "\n\n";
  while (text.size() < (std::size_t{2} << 20)) text += "b\n\n";
  FileSource source(write(text));
  ReadAhead reading(8, std::size_t{256} << 10, source, true);
  TestAhead testing(reading, setup_, true);
  const auto lies_in = [](std::string_view piece, const char* begin, std::size_t size) {
    const std::less_equal<const char*> not_after;
    return not_after(begin, piece.data()) && not_after(piece.data() + piece.size(), begin + size);
  };
  std::string passages;
  int copies = 0;
  int long_texts = 0;
  for (TestedItem item = testing.pop(); !ends_run(item.item); item = testing.pop()) {
    if (!std::holds_alternative<TextBytes>(item.item)) continue;
    bool held = item.text.empty();
    if (Block* const* const block = std::get_if<Block*>(&item.holder)) {
      held =
          held || lies_in(item.text, (*block)->storage.get(), Block::headroom + (*block)->capacity);
    }
    const platform::FileBuffer* buffer = nullptr;
    if (const LongText* const long_text = std::get_if<LongText>(&item.holder)) {
      buffer = long_text->buffer.get();
      ++long_texts;
    } else if (const PieceCopy* const copy = std::get_if<PieceCopy>(&item.holder)) {
      buffer = copy->buffer.get();
      ++copies;
    }
    if (buffer != nullptr) held = held || lies_in(item.text, buffer->view().data(), buffer->size());
    EXPECT_TRUE(held) << "a piece of " << item.tested.passages.size() << " passages";
    for (const TestedPassage& passage : item.tested.passages) {
      passages += item.text.substr(passage.span.begin, passage.span.end - passage.span.begin);
    }
    const TestedText& tested = item.tested;
    passages += item.text.substr(tested.rest_begin, tested.rest_end - tested.rest_begin);
    testing.release(item);
  }
  EXPECT_TRUE(passages == text);  // a diff of two MiB-long strings takes gtest minutes
  EXPECT_GT(copies, 0);
  EXPECT_GT(long_texts, 0);
}

}  // namespace
}  // namespace korvidan::scan
