// The blocks of file bytes a search reads into: a fixed number, the bound on the memory in
// flight. A block has one holder at a time: the reading stage fills it, the testing stage
// cuts and tests it, the writing stage writes from it and gives it back.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace korvidan::scan {

// A block of a file's bytes, read and checked, with room before them for the bytes of an
// unfinished passage that they continue, so that the two are one text without a copy of
// the block.
struct Block {
  static constexpr std::size_t headroom = std::size_t{64} << 10;
  explicit Block(std::size_t bytes) : storage(new char[headroom + bytes]), capacity(bytes) {}
  char* data() { return storage.get() + headroom; }
  std::unique_ptr<char[]> storage;
  std::size_t capacity;
  std::size_t size = 0;
};

// The blocks of a search. Waiting for a free one ends when the search is cancelled.
class BlockPool {
 public:
  BlockPool(std::size_t count, std::size_t block_size) {
    for (std::size_t i = 0; i < count; ++i) {
      blocks_.push_back(std::make_unique<Block>(block_size));
      free_.push_back(blocks_.back().get());
    }
  }

  // Waits for a free block; nullptr once cancelled.
  Block* take() {
    std::unique_lock<std::mutex> lock(mutex_);
    taker_waits_ = true;
    changed_.wait(lock, [this] { return cancelled_ || !free_.empty(); });
    taker_waits_ = false;
    return pop_free();
  }

  // A free block if there is one now; nullptr otherwise.
  Block* try_take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return free_.empty() ? nullptr : pop_free();
  }

  // Its last holder gives the block back (nullptr: none).
  void release(Block* block) {
    if (block == nullptr) return;
    std::unique_lock<std::mutex> lock(mutex_);
    free_.push_back(block);
    const bool wake = taker_waits_;
    lock.unlock();
    if (wake) changed_.notify_one();
  }

  void cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  // Under the lock: nullptr once cancelled.
  Block* pop_free() {
    if (cancelled_) return nullptr;
    Block* block = free_.back();
    free_.pop_back();
    return block;
  }

  std::vector<std::unique_ptr<Block>> blocks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Block*> free_;
  bool cancelled_ = false;
  bool taker_waits_ = false;
};

}  // namespace korvidan::scan
