// Jobs given in order by one thread, done by a few threads of their own in any order, and
// taken back in the order given by one thread: the work of several threads, the order of
// one. Every wait ends when the work is cancelled.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace korvidan::scan {

template <class Job>
class InOrder {
 public:
  // What a worker does to a job; `worker` numbers the threads from 0, for what each keeps.
  using Work = std::function<void(Job& job, std::size_t worker)>;

  // `threads` workers, started with the first job; at most `capacity` jobs given and not
  // taken back. Idle workers are woken once `wake_batch` jobs wait for one, one for each:
  // where the jobs are quick, they wait most of the time, and a wake-up costs a system call.
  InOrder(std::size_t threads, std::size_t capacity, std::size_t wake_batch, Work work)
      : threads_wanted_(threads),
        capacity_(capacity),
        wake_batch_(std::max<std::size_t>(wake_batch, 1)),
        work_(std::move(work)) {}
  ~InOrder() { join(); }
  InOrder(const InOrder&) = delete;
  InOrder& operator=(const InOrder&) = delete;

  // The giving side.
  bool full() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size() >= capacity_;
  }
  bool empty() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.empty();
  }
  // Gives the next job, waiting for room; false once cancelled (the job is dropped).
  bool give(Job job) {
    if (threads_.empty()) {
      threads_.reserve(threads_wanted_);
      for (std::size_t i = 0; i < threads_wanted_; ++i) {
        threads_.emplace_back([this, i] { work_on(i); });
      }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    giver_waits_ = true;
    room_.wait(lock, [this] { return cancelled_ || jobs_.size() < capacity_; });
    giver_waits_ = false;
    if (cancelled_) return false;
    jobs_.push_back({std::move(job), false});
    const std::size_t waiting = first_ + jobs_.size() - next_;
    const std::size_t wake = waiting >= wake_batch_ ? std::min(waiting, idle_) : 0;
    lock.unlock();
    for (std::size_t i = 0; i < wake; ++i) work_ready_.notify_one();
    return true;
  }

  // The taking side: the oldest job given, once done; nullopt once cancelled.
  std::optional<Job> take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (next_ == first_ && !jobs_.empty() && idle_ > 0) work_ready_.notify_one();
    taker_waits_ = true;
    done_.wait(lock, [this] { return cancelled_ || (!jobs_.empty() && jobs_.front().done); });
    taker_waits_ = false;
    if (cancelled_) return std::nullopt;
    Job job = std::move(jobs_.front().job);
    jobs_.pop_front();
    ++first_;
    const bool wake = giver_waits_;
    lock.unlock();
    if (wake) room_.notify_one();
    return job;
  }

  void cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    work_ready_.notify_all();
    done_.notify_all();
    room_.notify_all();
  }

  // Cancels, waits for the workers, and hands each job not taken back to `left(job, done)`,
  // oldest first.
  template <class Left>
  void stop(Left&& left) {
    join();
    for (Entry& entry : jobs_) left(entry.job, entry.done);
    jobs_.clear();
  }

 private:
  struct Entry {
    Job job;
    bool done;
  };

  void join() {
    cancel();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  // Elements of a deque stay where they are while the front is taken and the back given,
  // so a worker keeps its job without the lock.
  void work_on(std::size_t worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ++idle_;
      work_ready_.wait(lock, [this] { return cancelled_ || next_ < first_ + jobs_.size(); });
      --idle_;
      if (cancelled_) return;
      Entry& entry = jobs_[next_++ - first_];
      lock.unlock();
      work_(entry.job, worker);
      lock.lock();
      entry.done = true;
      if (taker_waits_ && &entry == &jobs_.front()) done_.notify_one();
    }
  }

  const std::size_t threads_wanted_;
  const std::size_t capacity_;
  const std::size_t wake_batch_;
  const Work work_;
  std::mutex mutex_;
  std::condition_variable work_ready_;  // workers wait for a job
  std::condition_variable done_;        // the taking side waits for the oldest to be done
  std::condition_variable room_;        // the giving side waits for room
  std::deque<Entry> jobs_;              // given and not taken, oldest first
  std::size_t first_ = 0;               // the number of the oldest
  std::size_t next_ = 0;                // the number of the first not begun
  std::size_t idle_ = 0;
  bool giver_waits_ = false;
  bool taker_waits_ = false;
  bool cancelled_ = false;
  std::vector<std::thread> threads_;  // the giving side's to start; joined by `stop`
};

}  // namespace korvidan::scan
