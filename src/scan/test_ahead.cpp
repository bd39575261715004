#include "scan/test_ahead.hpp"

#include <algorithm>
#include <utility>

namespace korvidan::scan {
namespace {

TestedItem out_of_memory() {
  TestedItem tested;
  tested.item = FileFailed{platform::out_of_memory()};
  return tested;
}

}  // namespace

TestAhead::TestAhead(ReadAhead& ahead, PassageStream& stream, bool threaded)
    : ahead_(ahead), stream_(stream), threaded_(threaded) {
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      TestedItem item = next();
      const bool last = ends_run(item.item);
      const std::size_t weight = list_bytes(item.tested);
      const Handoff<TestedItem>::Pushed pushed = items_.push(std::move(item), weight);
      if (!pushed.ok || last) return;
      // The writing side tests what this stage leaves of a text: more while it waits for
      // texts, less once they queue up for it.
      if (pushed.popper_waited) {
        share_ = std::max(min_share, share_ - share_step);
      } else if (pushed.queued >= 2) {
        share_ = std::min(whole_share, share_ + share_step);
      }
    }
  });
}

TestAhead::~TestAhead() {
  if (thread_) {
    items_.cancel();
    long_text_turns_.cancel();
    ahead_.cancel();  // it may wait for the reading
    thread_->join();
  }
  if (text_) ahead_.blocks().release(text_->bytes_of.block);
}

TestedItem TestAhead::pop() { return threaded_ ? items_.pop() : next(); }

void TestAhead::test_rest(TestedItem& item) {
  scan::test_rest(item.text, item.tested, stream_.tester().conditions(), scratch_);
}

void TestAhead::release(TestedItem& item) {
  if (TextBytes* const text = std::get_if<TextBytes>(&item.item)) {
    ahead_.blocks().release(text->block);
    text->block = nullptr;
  }
  if (item.long_text && threaded_) long_text_turns_.give_back();
  item.long_text.reset();
  if (item.tested.passages.capacity() == 0) return;
  item.tested.clear();
  const std::lock_guard<std::mutex> lock(recycled_mutex_);
  if (recycled_.size() < max_recycled) recycled_.push_back(std::move(item.tested));
}

TestedItem TestAhead::next() {
  if (text_) return next_piece();
  if (ended_) return {};
  ReadItem item = ahead_.pop();
  if (TextBytes* const text = std::get_if<TextBytes>(&item)) return begin_text(*text);
  carry_.clear();
  if (std::holds_alternative<FileBegins>(item)) stream_.start_file();
  ended_ = ends_run(item);
  TestedItem tested;
  tested.item = std::move(item);
  return tested;
}

TestedText TestAhead::fresh_list() {
  const std::lock_guard<std::mutex> lock(recycled_mutex_);
  if (recycled_.empty()) return {};
  TestedText list = std::move(recycled_.back());
  recycled_.pop_back();
  return list;
}

TestedItem TestAhead::fail(TestedItem failure) {
  ended_ = true;
  return failure;
}

TestedItem TestAhead::begin_text(TextBytes item) {
  bool in_buffer = false;
  const std::optional<std::string_view> text = carry_.join(*item.block, in_buffer);
  if (in_buffer || !text) {
    ahead_.blocks().release(item.block);
    item.block = nullptr;
  }
  if (!text) return fail(out_of_memory());
  text_.emplace(Text{item, *text, 0, false});
  return next_piece();
}

// A text's passages go out a few thousand at a time, so that the lists in flight stay
// small whatever the passages; the last piece carries the text's end, and what holds it.
TestedItem TestAhead::next_piece() {
  Text& text = *text_;
  const bool end_of_file = text.bytes_of.end_of_file;
  const std::string_view rest = text.bytes.substr(text.consumed);
  TestedItem tested;
  tested.text = rest;
  tested.item = TextBytes{};
  if (!threaded_) {
    // On one thread the writing side cuts, tests and writes the text in one pass (`pass`),
    // each passage while its bytes are in the cache.
    tested.in_one_pass = true;
    return tested;
  }
  tested.tested = fresh_list();
  TestLimits limits{SIZE_MAX, SIZE_MAX, max_passages, max_line_feeds};
  if (share_ < whole_share) {
    limits.test_from = rest.size() / whole_share * share_;
    limits.test_count = max_passages / whole_share * share_;
  }
  text.consumed += stream_.tester().test(rest, end_of_file, tested.tested, limits);
  if (limits.reached(tested.tested)) {
    text.pieces = true;
    return tested;
  }
  return end_text(std::move(tested), !tested.tested.passages.empty());
}

TestedItem TestAhead::end_text(TestedItem tested, bool passages_ended) {
  const Text done = *text_;
  text_.reset();
  const bool end_of_file = done.bytes_of.end_of_file;
  tested.item = done.bytes_of;
  const std::string_view tail = done.bytes.substr(done.consumed);
  if (done.bytes_of.block == nullptr && !passages_ended && !done.pieces) {
    // No passage ended in the carried bytes: they grow on with the next block.
    tested.text = {};
  } else if (done.bytes_of.block == nullptr) {
    // At most two such buffers in flight: the memory stays bounded whatever the passages.
    if (threaded_ && !long_text_turns_.take()) return fail({});
    tested.long_text = carry_.hand_over();
  }
  // The tail is kept before the block or buffer that holds it goes on.
  if (end_of_file) {
    carry_.clear();
  } else if (!carry_.keep(tail)) {
    ahead_.blocks().release(done.bytes_of.block);
    return fail(out_of_memory());
  }
  return tested;
}

}  // namespace korvidan::scan
