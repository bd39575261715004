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

ReadItem ReadAhead::pop() {
  if (!thread_) return source_.next(*this);
  std::optional<ReadItem> item = items_.pop();
  return item ? std::move(*item) : ReadItem{};
}

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
      const Handoff<TestedItem>::Pushed pushed = items_.push(std::move(item));
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

TestedItem TestAhead::pop() {
  if (!threaded_) return next();
  std::optional<TestedItem> item = items_.pop();
  return item ? std::move(*item) : TestedItem{};
}

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
  if (ended_) return {};
  ReadItem item = ahead_.pop();
  if (item.kind == ReadItem::Kind::text) return next_text(std::move(item));
  forget();
  if (item.kind == ReadItem::Kind::file) stream_.start_file();
  ended_ = item.ends_run();
  TestedItem tested;
  tested.item = std::move(item);
  return tested;
}

// The bytes a block leaves unconsumed go into the next block's headroom, or, when they do
// not fit there, into a buffer of their own that grows with the passage. The writing side
// reads a block's bytes while they are copied on from it, so a block has two users here;
// a long passage's buffer goes over to the writing side whole once passages lie in it.
TestedItem TestAhead::next_text(ReadItem item) {
  TestedItem tested;
  {
    const std::lock_guard<std::mutex> lock(recycled_mutex_);
    if (!recycled_.empty()) {
      tested.tested = std::move(recycled_.back());
      recycled_.pop_back();
    }
  }
  Block* block = item.block;
  const bool end_of_file = item.end_of_file;
  tested.item = std::move(item);
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
      ended_ = true;
      return out_of_memory();
    }
    const bool appended = append(*long_passage_, std::string_view(block->data(), block->size));
    ahead_.blocks().release(block);
    tested.item.block = nullptr;
    ahead_.blocks().release(held_);
    held_ = nullptr;
    if (!appended) {
      ended_ = true;
      return out_of_memory();
    }
    text = long_passage_->view();
  }
  tested.text = text;
  // On one thread the passages go straight to the results stage, as they are tested.
  const std::size_t test_from =
      share_ >= whole_share ? SIZE_MAX : text.size() / whole_share * share_;
  const std::size_t consumed =
      threaded_ ? stream_.tester().test(text, end_of_file, tested.tested, test_from)
                : stream_.feed(text, end_of_file);
  if (held_ != nullptr) {
    unconsumed_ = text.substr(consumed);
  } else if (tested.tested.passages.empty()) {
    long_passage_->drop_front(consumed);
    unconsumed_ = long_passage_->view();
  } else {
    // At most two such buffers in flight: the memory stays bounded whatever the passages.
    if (threaded_ && !long_texts_.push(true).ok) return {};
    tested.long_text = std::exchange(long_passage_, std::make_unique<platform::FileBuffer>());
    if (!end_of_file && !append(*long_passage_, text.substr(consumed))) {
      ended_ = true;
      return out_of_memory();
    }
    unconsumed_ = long_passage_->view();
  }
  if (end_of_file) forget();
  return tested;
}

}  // namespace korvidan::scan
