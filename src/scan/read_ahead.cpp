#include "scan/read_ahead.hpp"

namespace korvidan::scan {

ReadAhead::ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded)
    : source_(source) {
  for (std::size_t i = 0; i < blocks; ++i) {
    blocks_.push_back(std::make_unique<Block>(block_size));
    free_.push_back(blocks_.back().get());
  }
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      ReadItem item = source_.next(*this);
      const bool last = item.ends_run();
      if (!push(std::move(item)) || last) return;
    }
  });
}

ReadAhead::~ReadAhead() {
  if (!thread_) return;
  cancel();
  thread_->join();
}

void ReadAhead::cancel() {
  const std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}

// Each side wakes the other only when it must: the reader when it is about to wait, or has
// a few items ready; the consumer when a few blocks are free again. On one core every
// wake-up may switch threads at once, and a switch per file cost more than a tenth of a
// 5,000-file run.
Block* ReadAhead::take_block() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (free_.empty() && consumer_waits_) changed_.notify_one();
  producer_waits_ = true;
  changed_.wait(lock, [this] { return cancelled_ || !free_.empty(); });
  producer_waits_ = false;
  if (cancelled_) return nullptr;
  Block* block = free_.back();
  free_.pop_back();
  return block;
}

bool ReadAhead::push(ReadItem item) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (items_.size() >= max_items && consumer_waits_) changed_.notify_one();
  producer_waits_ = true;
  changed_.wait(lock, [this] { return cancelled_ || items_.size() < max_items; });
  producer_waits_ = false;
  if (cancelled_) return false;
  const bool last = item.ends_run();
  items_.push_back(std::move(item));
  const bool wake = consumer_waits_ && (last || items_.size() >= wake_batch || free_.empty());
  lock.unlock();  // so that the woken thread does not wait for the lock at once
  if (wake) changed_.notify_one();
  return true;
}

ReadItem ReadAhead::pop() {
  if (!thread_) return source_.next(*this);
  std::unique_lock<std::mutex> lock(mutex_);
  consumer_waits_ = true;
  changed_.wait(lock, [this] { return !items_.empty(); });
  consumer_waits_ = false;
  ReadItem item = std::move(items_.front());
  items_.pop_front();
  const bool wake = producer_waits_ && items_.size() + wake_batch <= max_items;
  lock.unlock();
  if (wake) changed_.notify_one();
  return item;
}

void ReadAhead::give_back(Block* block) {
  if (block == nullptr) return;
  std::unique_lock<std::mutex> lock(mutex_);
  free_.push_back(block);
  const bool wake = producer_waits_ && free_.size() >= wake_batch / 2;
  lock.unlock();
  if (wake) changed_.notify_one();
}

}  // namespace korvidan::scan
