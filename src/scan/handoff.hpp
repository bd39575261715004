// What the stages of a search hand each other: items through a bounded queue, one thread
// on each side, and turns. Every wait ends when the search is cancelled, so that no stage
// can be left waiting for one that has returned.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

namespace korvidan::scan {

// A bounded queue between one pushing and one popping thread: at most `capacity` items,
// and, but for an item alone in the queue, at most `max_weight` of their weights. A side
// wakes the other only when it waits: in a steady stream neither does, and a wake-up costs
// a system call.
template <class T>
class Handoff {
 public:
  explicit Handoff(std::size_t capacity, std::size_t max_weight = SIZE_MAX)
      : capacity_(capacity), max_weight_(max_weight) {}

  // What a push found: `ok` false once cancelled (the item is dropped); whether the popping
  // side was waiting for it, or else how many items were still queued before it.
  struct Pushed {
    bool ok = false;
    bool popper_waited = false;
    std::size_t queued = 0;
  };
  Pushed push(T item, std::size_t weight = 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    pusher_waits_ = true;
    changed_.wait(lock, [this, weight] {
      return cancelled_ ||
             (items_.size() < capacity_ && (items_.empty() || weight_ + weight <= max_weight_));
    });
    pusher_waits_ = false;
    if (cancelled_) return {};
    const Pushed pushed{true, popper_waits_, items_.size()};
    items_.push_back({std::move(item), weight});
    weight_ += weight;
    lock.unlock();  // so that the woken thread does not wait for the lock at once
    if (pushed.popper_waited) changed_.notify_one();
    return pushed;
  }

  // The next item; a default one once cancelled.
  T pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    popper_waits_ = true;
    changed_.wait(lock, [this] { return cancelled_ || !items_.empty(); });
    popper_waits_ = false;
    if (cancelled_) return T{};
    T item = std::move(items_.front().first);
    weight_ -= items_.front().second;
    items_.pop_front();
    const bool wake = pusher_waits_;
    lock.unlock();
    if (wake) changed_.notify_one();
    return item;
  }

  void cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  std::size_t capacity_;
  std::size_t max_weight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<T, std::size_t>> items_;
  std::size_t weight_ = 0;
  bool cancelled_ = false;
  bool pusher_waits_ = false;
  bool popper_waits_ = false;
};

// A few turns, taken and given back by two threads, as a semaphore's permits are; a wait for
// one ends when the search is cancelled. (libstdc++ 12's std::counting_semaphore cannot be
// cancelled, and on mingw-w64 its wait missed a wake-up: a run under wine hung for ever.)
class Turns {
 public:
  explicit Turns(std::size_t count) : free_(count) {}

  // Waits for a turn; false once cancelled.
  bool take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return cancelled_ || free_ > 0; });
    if (cancelled_) return false;
    --free_;
    return true;
  }

  void give_back() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++free_;
    }
    changed_.notify_one();
  }

  void cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t free_;
  bool cancelled_ = false;
};

}  // namespace korvidan::scan
