#include "scan/test_ahead.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace korvidan::scan {
namespace {

// The last of what `kept` holds, or an empty one.
template <class T>
T take_kept(std::vector<T>& kept) {
  if (kept.empty()) return T{};
  T one = std::move(kept.back());
  kept.pop_back();
  return one;
}

TestedItem out_of_memory() {
  TestedItem tested;
  tested.item = FileFailed{platform::out_of_memory()};
  return tested;
}

}  // namespace

TestAhead::TestAhead(ReadAhead& ahead, const SearchSetup& setup, bool threaded, std::size_t workers,
                     std::size_t in_flight)
    : ahead_(ahead),
      threaded_(threaded),
      tester_(setup.break_count, setup.conditions),
      rest_tester_(setup.break_count, setup.conditions) {
  if (!threaded) return;
  if (workers != 0) {
    for (std::size_t i = 0; i < workers; ++i) {
      worker_testers_.push_back(
          std::make_unique<PassageTester>(setup.break_count, setup.conditions));
    }
    share_ = 0;
    max_recycled_ = std::max(max_recycled_, in_flight);
    tested_by_workers_.emplace(workers, in_flight, 1, [this](TestedItem& item, std::size_t worker) {
      list_rest(item, worker);
    });
  }
  thread_.emplace([this] {
    for (;;) {
      TestedItem item = next();
      const bool last = ends_run(item.item);
      if (!hand_on(std::move(item)) || last) return;
    }
  });
}

bool TestAhead::hand_on(TestedItem item) {
  if (tested_by_workers_) return tested_by_workers_->give(std::move(item));
  const std::size_t weight = item_bytes(item);
  const Handoff<TestedItem>::Pushed pushed = items_.push(std::move(item), weight);
  // The writing side tests what this stage leaves of a text: more while it waits for
  // texts, less once they queue up for it.
  if (pushed.popper_waited) {
    share_ = std::max(min_share, share_ - share_step);
  } else if (pushed.queued >= 2) {
    share_ = std::min(whole_share, share_ + share_step);
  }
  return pushed.ok;
}

TestAhead::~TestAhead() {
  if (thread_) {
    items_.cancel();
    if (tested_by_workers_) tested_by_workers_->cancel();
    long_text_turns_.cancel();
    ahead_.cancel();  // it may wait for the reading
    thread_->join();
  }
  tested_by_workers_.reset();  // before the testers the workers use
  if (text_) ahead_.blocks().release(text_->bytes_of.block);
}

// The worker lists and tests the rest as this stage would have, so that the writing side
// only writes; past 16,384 passages it leaves a rest again, which the writing side cuts and
// tests itself, so that a block of nothing but empty-line passages keeps its list small.
void TestAhead::list_rest(TestedItem& item, std::size_t worker) {
  TestedText& tested = item.tested;
  if (!std::holds_alternative<TextBytes>(item.item) || !tested.has_rest()) return;
  const std::string_view range = item.text.substr(0, tested.rest_end);
  const std::size_t begin = tested.rest_begin;
  const std::uint64_t first_line = tested.rest_first_line;
  tested.rest_begin = tested.rest_end = 0;
  TestLimits limits;
  limits.test_count = max_passages;
  worker_testers_[worker]->test_range(range, begin, first_line, tested, limits);
}

TestedItem TestAhead::pop() {
  if (!threaded_) return next();
  if (!tested_by_workers_) return items_.pop();
  std::optional<TestedItem> item = tested_by_workers_->take();
  return item ? std::move(*item) : TestedItem{};
}

void TestAhead::release(TestedItem& item) {
  std::unique_ptr<platform::FileBuffer> copy;
  if (Block** const block = std::get_if<Block*>(&item.holder)) {
    ahead_.blocks().release(*block);
  } else if (std::holds_alternative<LongText>(item.holder)) {
    if (threaded_) long_text_turns_.give_back();
  } else if (PieceCopy* const piece = std::get_if<PieceCopy>(&item.holder)) {
    copy = std::move(piece->buffer);
  }
  item.holder = {};
  const bool list = item.tested.passages.capacity() != 0;
  if (!list && !copy) return;
  item.tested.clear();
  const std::lock_guard<std::mutex> lock(recycled_mutex_);
  if (list && recycled_.size() < max_recycled_) recycled_.push_back(std::move(item.tested));
  if (copy && recycled_copies_.size() < max_recycled_) {
    copy->clear();
    recycled_copies_.push_back(std::move(copy));
  }
}

TestedItem TestAhead::next() {
  if (text_) return next_piece();
  if (ended_) return {};
  ReadItem item = ahead_.pop();
  if (TextBytes* const text = std::get_if<TextBytes>(&item)) return begin_text(*text);
  carry_.clear();
  if (std::holds_alternative<FileBegins>(item)) tester_.start_file();
  ended_ = ends_run(item);
  TestedItem tested;
  tested.item = std::move(item);
  return tested;
}

TestedText TestAhead::fresh_list() {
  const std::lock_guard<std::mutex> lock(recycled_mutex_);
  return take_kept(recycled_);
}

std::unique_ptr<platform::FileBuffer> TestAhead::fresh_copy() {
  std::unique_ptr<platform::FileBuffer> copy;
  {
    const std::lock_guard<std::mutex> lock(recycled_mutex_);
    copy = take_kept(recycled_copies_);
  }
  return copy ? std::move(copy) : std::make_unique<platform::FileBuffer>();
}

TestedItem TestAhead::fail(TestedItem failure) {
  if (text_) ahead_.blocks().release(text_->bytes_of.block);
  text_.reset();
  ended_ = true;
  return failure;
}

TestedItem TestAhead::begin_text(TextBytes item) {
  bool in_buffer = false;
  const std::size_t carried = carry_.size();
  const std::optional<std::string_view> text = carry_.join(*item.block, in_buffer);
  if (!text) {
    ahead_.blocks().release(item.block);
    return fail(out_of_memory());
  }
  text_.emplace(Text{item, *text, 0, in_buffer, carried});
  return next_piece();
}

// A text's passages go out up to 16,384 at a time, so that the lists in flight stay
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
  // In the carry's buffer, the first passage that ends there (the long one) is a piece of
  // its own, so that the buffer can go on with it.
  TestLimits limits{SIZE_MAX, SIZE_MAX, text.in_buffer ? 1 : max_passages, max_line_feeds};
  if (share_ < whole_share) {
    limits.test_from = rest.size() / whole_share * share_;
    limits.test_count = max_passages / whole_share * share_;
  }
  const std::size_t done = tester_.test(rest, end_of_file, tested.tested, limits);
  text.consumed += done;
  if (!limits.reached(tested.tested)) {
    return end_text(std::move(tested), !tested.tested.passages.empty() || tested.tested.has_rest());
  }
  if (text.in_buffer) return leave_buffer(std::move(tested));
  return copy_piece(std::move(tested), done);
}

TestedItem TestAhead::copy_piece(TestedItem tested, std::size_t size) {
  std::unique_ptr<platform::FileBuffer> copy = fresh_copy();
  if (!copy->reserve(size)) return fail(out_of_memory());
  std::memcpy(copy->spare(), tested.text.data(), size);
  copy->commit(size);
  tested.text = copy->view();
  tested.holder = PieceCopy{std::move(copy)};
  return tested;
}

// The carry's buffer goes on with the long passage. Where it ends at most a headroom
// before the block's first byte, the text goes on in its block, the bytes before it in the
// headroom; else (a long line begun after it) in a fresh buffer, the line so far copied:
// copying the passage instead once cost its size twice over.
TestedItem TestAhead::leave_buffer(TestedItem tested) {
  Text& text = *text_;
  if (!long_text_turns_.take()) return fail({});
  const std::size_t from_buffer = text.before_block();
  if (from_buffer > Block::headroom) {
    const std::string_view rest = text.bytes.substr(text.consumed);
    tested.holder = LongText{carry_.hand_over()};
    if (!carry_.keep(rest)) return fail(out_of_memory());
    text.bytes = carry_.view();
    text.block_begin -= text.consumed;
    text.consumed = 0;
    return tested;
  }
  Block& block = *text.bytes_of.block;
  const std::size_t in_block = text.consumed + from_buffer - text.block_begin;
  char* const begin = block.data() + in_block - from_buffer;
  std::memcpy(begin, text.bytes.data() + text.consumed, from_buffer);
  const std::string_view rest(begin, from_buffer + block.size - in_block);
  tested.holder = LongText{carry_.hand_over()};
  text.bytes = rest;
  text.consumed = 0;
  text.in_buffer = false;
  return tested;
}

TestedItem TestAhead::end_text(TestedItem tested, bool passages_ended) {
  const Text done = *text_;
  text_.reset();
  const bool end_of_file = done.bytes_of.end_of_file;
  tested.item = TextBytes{nullptr, end_of_file};
  const std::string_view tail = done.bytes.substr(done.consumed);
  if (!done.in_buffer) {
    tested.holder = done.bytes_of.block;
  } else {
    // The block's bytes are in the carry's buffer as well.
    ahead_.blocks().release(done.bytes_of.block);
    if (!passages_ended) {
      // No passage ended in the carried bytes: they grow on with the next block.
      tested.text = {};
    } else {
      // At most two such buffers in flight: the memory stays bounded whatever the passages.
      if (threaded_ && !long_text_turns_.take()) return fail({});
      tested.holder = LongText{carry_.hand_over()};
    }
  }
  // The tail is kept before the block or buffer that holds it goes on.
  if (end_of_file) {
    carry_.clear();
  } else if (!carry_.keep(tail)) {
    if (Block** const block = std::get_if<Block*>(&tested.holder)) {
      ahead_.blocks().release(*block);
    }
    return fail(out_of_memory());
  }
  return tested;
}

}  // namespace korvidan::scan
