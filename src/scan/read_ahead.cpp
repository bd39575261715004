#include "scan/read_ahead.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace korvidan::scan {
namespace {

// Appends `bytes` to `buffer`, which grows by doubling; false when memory runs out.
bool append(platform::FileBuffer& buffer, std::string_view bytes) {
  if (bytes.size() > buffer.spare_size() &&
      !buffer.reserve(std::max(buffer.size() + bytes.size(), 2 * buffer.capacity()))) {
    return false;
  }
  if (!bytes.empty()) std::memcpy(buffer.spare(), bytes.data(), bytes.size());
  buffer.commit(bytes.size());
  return true;
}

TestedItem out_of_memory() {
  TestedItem tested;
  tested.item.kind = ReadItem::Kind::failed;
  tested.item.error = platform::out_of_memory();
  return tested;
}

}  // namespace

// ---- reading

ReadAhead::ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded)
    : source_(source), blocks_(blocks, block_size) {
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      ReadItem item = source_.next(*this);
      const bool last = item.ends_run();
      if (!items_.push(std::move(item)).ok || last) return;
    }
  });
}

ReadAhead::~ReadAhead() {
  if (!thread_) return;
  cancel();
  thread_->join();
}

void ReadAhead::cancel() {
  items_.cancel();
  blocks_.cancel();
}

ReadItem ReadAhead::pop() { return thread_ ? items_.pop() : source_.next(*this); }

// ---- cutting and testing

TestAhead::TestAhead(ReadAhead& ahead, PassageStream& stream, bool threaded)
    : ahead_(ahead),
      stream_(stream),
      long_passage_(std::make_unique<platform::FileBuffer>()),
      threaded_(threaded) {
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      TestedItem item = next();
      const bool last = item.item.ends_run();
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
    long_texts_.cancel();
    ahead_.cancel();  // it may wait for the reading
    thread_->join();
  }
  forget();
}

TestedItem TestAhead::pop() { return threaded_ ? items_.pop() : next(); }

void TestAhead::test_rest(TestedItem& item) {
  scan::test_rest(item.text, item.tested, stream_.tester().conditions(), scratch_);
}

void TestAhead::release(TestedItem& item) {
  ahead_.blocks().release(item.item.block);
  item.item.block = nullptr;
  if (item.long_text && threaded_) long_texts_.pop();
  item.long_text.reset();
  if (item.tested.passages.capacity() == 0) return;
  item.tested.clear();
  const std::lock_guard<std::mutex> lock(recycled_mutex_);
  if (recycled_.size() < max_recycled) recycled_.push_back(std::move(item.tested));
}

void TestAhead::forget() {
  ahead_.blocks().release(held_);
  held_ = nullptr;
  unconsumed_ = {};
  long_passage_->clear();
}

TestedItem TestAhead::next() {
  if (text_) return next_piece();
  if (ended_) return {};
  ReadItem item = ahead_.pop();
  if (item.kind == ReadItem::Kind::text) return begin_text(std::move(item));
  forget();
  if (item.kind == ReadItem::Kind::file) stream_.start_file();
  ended_ = item.ends_run();
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
  text_.reset();
  return failure;
}

// The bytes a block leaves unconsumed go into the next block's headroom, or, when they do
// not fit there, into a buffer of their own that grows with the passage. The writing side
// reads a block's bytes while they are copied on from it, so a block has two users here;
// a long passage's buffer goes over to the writing side whole once passages lie in it.
TestedItem TestAhead::begin_text(ReadItem item) {
  Block* block = item.block;
  std::string_view text;
  if (unconsumed_.size() <= Block::headroom) {
    char* begin = block->data() - unconsumed_.size();
    if (!unconsumed_.empty()) std::memmove(begin, unconsumed_.data(), unconsumed_.size());
    text = std::string_view(begin, unconsumed_.size() + block->size);
    forget();
    ahead_.blocks().share(block);
    held_ = block;
  } else {
    if (long_passage_->size() == 0 && !append(*long_passage_, unconsumed_)) {
      ahead_.blocks().release(block);
      return fail(out_of_memory());
    }
    const bool appended = append(*long_passage_, std::string_view(block->data(), block->size));
    ahead_.blocks().release(block);
    item.block = nullptr;
    ahead_.blocks().release(held_);
    held_ = nullptr;
    if (!appended) return fail(out_of_memory());
    text = long_passage_->view();
  }
  text_.emplace(Text{std::move(item), text, 0, false});
  return next_piece();
}

// A text's passages go out a few thousand at a time, so that the lists in flight stay
// small whatever the passages; the last piece carries the text's end.
TestedItem TestAhead::next_piece() {
  Text& text = *text_;
  const bool end_of_file = text.item.end_of_file;
  const std::string_view rest = text.bytes.substr(text.consumed);
  TestedItem tested;
  tested.text = rest;
  if (!threaded_) {
    // On one thread the passages go straight to the results stage, as they are tested.
    text.consumed += stream_.feed(rest, end_of_file);
  } else {
    tested.tested = fresh_list();
    TestLimits limits{SIZE_MAX, SIZE_MAX, max_passages, max_line_feeds};
    if (share_ < whole_share) {
      limits.test_from = rest.size() / whole_share * share_;
      limits.test_count = max_passages / whole_share * share_;
    }
    text.consumed += stream_.tester().test(rest, end_of_file, tested.tested, limits);
    if (limits.reached(tested.tested)) {
      tested.item.kind = ReadItem::Kind::text;
      tested.item.block = text.item.block;
      if (tested.item.block != nullptr) ahead_.blocks().share(tested.item.block);
      text.pieces = true;
      return tested;
    }
  }
  const std::size_t consumed = text.consumed;
  const std::string_view bytes = text.bytes;
  const bool pieces = text.pieces;
  tested.item = std::move(text.item);
  text_.reset();
  if (held_ != nullptr) {
    unconsumed_ = bytes.substr(consumed);
  } else if (tested.tested.passages.empty() && !pieces) {
    long_passage_->drop_front(consumed);
    unconsumed_ = long_passage_->view();
  } else {
    // At most two such buffers in flight: the memory stays bounded whatever the passages.
    if (threaded_ && !long_texts_.push(true).ok) return fail({});
    tested.long_text = std::exchange(long_passage_, std::make_unique<platform::FileBuffer>());
    if (!end_of_file && !append(*long_passage_, bytes.substr(consumed))) {
      return fail(out_of_memory());
    }
    unconsumed_ = long_passage_->view();
  }
  if (end_of_file) forget();
  return tested;
}

}  // namespace korvidan::scan
