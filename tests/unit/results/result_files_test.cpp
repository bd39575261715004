#include <gtest/gtest.h>

#include <random>

#include "results/results.hpp"
#include "support/memory_target.hpp"

namespace korvidan::results {
namespace {

using testing::MemoryTarget;
using testing::ResultBytes;
using testing::WriteRequest;

// What a run tells the results stage, in order.
struct Event {
  enum class Kind { file, passage } kind;
  std::string bytes;  // the path, or the passage's text
  bool selected = false;
};

std::vector<Event> random_events(std::mt19937& random) {
  std::vector<Event> events;
  const int files = 1 + static_cast<int>(random() % 3);
  for (int f = 0; f < files; ++f) {
    events.push_back({Event::Kind::file, "f" + std::to_string(f), false});
    const int passages = static_cast<int>(random() % 7);
    for (int p = 0; p < passages; ++p) {
      // Runs of passages to one file, of any length, empty ones too.
      events.push_back({Event::Kind::passage,
                        std::string(random() % 12, static_cast<char>('a' + p)), random() % 3 == 0});
    }
  }
  return events;
}

// Feeds the events as a run does, stopping where the stage stops.
void play(ResultFiles& files, const std::vector<Event>& events) {
  for (const Event& event : events) {
    if (files.stopped()) break;
    if (event.kind == Event::Kind::file) {
      files.begin_file(event.bytes);
    } else {
      files.write_passage(event.selected,
                          text::LineRegion{event.bytes, 0, event.bytes.size(), {}, false}, 1, 1);
    }
  }
}

// A whole run: the marks, the events, the end; returns the stop.
std::optional<platform::Stop> play_run(ResultFiles& files, const std::vector<Event>& events) {
  files.write_byte_order_marks();
  play(files, events);
  return files.finish();
}

// A stage without a buffer makes one write request per piece, as unbuffered writes do.
std::vector<WriteRequest> unbuffered_requests(const std::vector<Event>& events, bool indexed) {
  std::vector<WriteRequest> requests;
  MemoryTarget selection(true, UINT64_MAX, &requests);
  MemoryTarget rest(false, UINT64_MAX, &requests);
  ResultFiles files(selection, rest, indexed, 0);
  EXPECT_FALSE(play_run(files, events).has_value());
  return requests;
}

// At every file size limit and with buffers of every size, both files hold exactly what
// the unbuffered requests leave: the failing file what it took, the other file everything
// decided before the failing request and nothing after.
TEST(ResultFiles, a_failed_write_leaves_what_unbuffered_writes_leave) {
  std::mt19937 random(1312);
  for (int round = 0; round < 300; ++round) {
    const std::vector<Event> events = random_events(random);
    const bool indexed = random() % 2 == 0;
    const std::vector<WriteRequest> requests = unbuffered_requests(events, indexed);
    const ResultBytes whole = testing::complete(requests);
    const std::uint64_t largest = std::max(whole.selection.size(), whole.rest.size());
    for (const std::size_t buffer_size :
         {std::size_t{1}, std::size_t{5}, std::size_t{32}, ResultFiles::default_buffer_size}) {
      for (std::uint64_t limit = 0; limit <= largest; ++limit) {
        MemoryTarget selection(true, limit);
        MemoryTarget rest(false, limit);
        ResultFiles files(selection, rest, indexed, buffer_size);
        const std::optional<platform::Stop> stop = play_run(files, events);
        const ResultBytes expected = testing::under_limit(requests, limit);
        ASSERT_EQ(stop.has_value(), expected.cut_short);
        ASSERT_EQ(selection.bytes, expected.selection)
            << "round " << round << ", buffer " << buffer_size << ", limit " << limit;
        ASSERT_EQ(rest.bytes, expected.rest)
            << "round " << round << ", buffer " << buffer_size << ", limit " << limit;
        if (stop) {
          EXPECT_EQ(stop->message, "cannot write !!");
          EXPECT_EQ(stop->cause->os_code, 27u);
        }
      }
    }
  }
}

// A file that turns out not to be UTF-8 is taken back: at every limit and buffer size the
// files end as if its events had never come, unless a write before it failed already, and
// a write that failed on its bytes is withdrawn with them.
TEST(ResultFiles, taking_back_a_file_leaves_what_came_before_it) {
  std::mt19937 random(2718);
  for (int round = 0; round < 200; ++round) {
    const std::vector<Event> before = random_events(random);
    const std::vector<Event> after = random_events(random);
    const bool indexed = random() % 2 == 0;
    const std::vector<WriteRequest> requests = unbuffered_requests(before, indexed);
    const std::uint64_t largest = std::max(testing::complete(requests).selection.size(),
                                           testing::complete(requests).rest.size()) +
                                  30;
    for (const std::size_t buffer_size : {std::size_t{1}, std::size_t{6}, std::size_t{64}}) {
      for (std::uint64_t limit = 0; limit <= largest; ++limit) {
        MemoryTarget selection(true, limit);
        MemoryTarget rest(false, limit);
        ResultFiles files(selection, rest, indexed, buffer_size);
        files.write_byte_order_marks();
        play(files, before);
        const ResultFiles::Mark mark = files.mark();
        play(files, after);
        files.take_back(mark);
        const std::optional<platform::Stop> stop = files.finish();
        const ResultBytes expected = testing::under_limit(requests, limit);
        ASSERT_EQ(stop.has_value(), expected.cut_short)
            << "round " << round << ", buffer " << buffer_size << ", limit " << limit;
        ASSERT_EQ(selection.bytes, expected.selection)
            << "round " << round << ", buffer " << buffer_size << ", limit " << limit;
        ASSERT_EQ(rest.bytes, expected.rest)
            << "round " << round << ", buffer " << buffer_size << ", limit " << limit;
      }
    }
  }
}

// Once a write has failed, nothing is written any more, whatever the stage is told.
TEST(ResultFiles, nothing_is_written_after_a_failed_write) {
  MemoryTarget selection(true, 0);
  MemoryTarget rest(false);
  ResultFiles files(selection, rest, true, 4);
  files.write_byte_order_marks();
  files.begin_file("a long path that overflows the buffer");
  EXPECT_TRUE(files.stopped());
  files.write_passage(false, text::LineRegion{"more", 0, 4, {}, false}, 1, 1);
  files.begin_file("b");
  ASSERT_TRUE(files.finish().has_value());
  EXPECT_EQ(selection.bytes, "");
  EXPECT_EQ(rest.bytes, "");  // its mark came after the selection file's, which failed
}

TEST(ResultFiles, layout_of_both_forms) {
  for (const bool indexed : {false, true}) {
    MemoryTarget selection;
    MemoryTarget rest;
    ResultFiles files(selection, rest, indexed);
    files.write_byte_order_marks();
    files.begin_file("d/a.txt");
    const std::size_t bare[] = {1, 3};
    files.write_passage(true, text::LineRegion{"x\ny\n", 0, 4, bare, false}, 3, 4);
    files.write_passage(false, text::LineRegion{"z", 0, 1, {}, true}, 5, 5);
    ASSERT_FALSE(files.finish().has_value());
    if (indexed) {
      EXPECT_EQ(selection.bytes,
                "\xEF\xBB\xBF"
                "d/a.txt\r\n1\r\n3--4  d/a.txt\r\n1\r\nx\r\ny\r\n");
      EXPECT_EQ(rest.bytes,
                "\xEF\xBB\xBF"
                "d/a.txt\r\n1\r\n5--5  d/a.txt\r\n1\r\nz\r\n");
    } else {
      EXPECT_EQ(selection.bytes,
                "\xEF\xBB\xBF"
                "x\r\ny\r\n");
      EXPECT_EQ(rest.bytes,
                "\xEF\xBB\xBF"
                "z\r\n");
    }
  }
}

}  // namespace
}  // namespace korvidan::results
