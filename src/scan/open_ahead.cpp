#include "scan/open_ahead.hpp"

#include <algorithm>
#include <utility>

namespace korvidan::scan {

OpenAhead::OpenAhead(std::size_t threads, std::size_t window, BlockPool& blocks, Open open)
    : window_(window), threads_wanted_(threads), blocks_(blocks), open_(std::move(open)) {}

OpenAhead::~OpenAhead() {
  cancel();
  for (std::thread& thread : threads_) thread.join();
  for (Asked& asked : asked_) {
    if (!asked.opened) {
      blocks_.release(asked.block);
      continue;
    }
    if (asked.opened->file.handle) platform::close_file(*asked.opened->file.handle);
    for (ReadItem& item : asked.opened->items) {
      if (TextBytes* const text = std::get_if<TextBytes>(&item)) blocks_.release(text->block);
    }
  }
}

bool OpenAhead::full() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return asked_.size() >= window_;
}

bool OpenAhead::empty() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return asked_.empty();
}

void OpenAhead::ask(FileToOpen file, Block* block) {
  // The threads are started with the first file: most searches never open ahead.
  if (threads_.empty()) {
    threads_.reserve(threads_wanted_);
    for (std::size_t i = 0; i < threads_wanted_; ++i) {
      threads_.emplace_back([this] { open_files(); });
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  asked_.push_back({std::move(file), block, std::nullopt});
  // Idle opening threads are woken a few files at a time, one for each: where opening is
  // quick they wait most of the time, and a wake-up costs a system call. The oldest wakes
  // one at once where it is waited for (`take`).
  const std::size_t waiting = first_ + asked_.size() - next_;
  const std::size_t wake = waiting >= (window_ + 3) / 4 ? std::min(waiting, idle_) : 0;
  lock.unlock();
  for (std::size_t i = 0; i < wake; ++i) work_.notify_one();
}

std::optional<OpenedFile> OpenAhead::take() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (next_ == first_ && idle_ > 0) work_.notify_one();
  taker_waits_ = true;
  done_.wait(lock, [this] { return cancelled_ || (!asked_.empty() && asked_.front().opened); });
  taker_waits_ = false;
  if (cancelled_) return std::nullopt;
  OpenedFile opened = std::move(*asked_.front().opened);
  asked_.pop_front();
  ++first_;
  return opened;
}

void OpenAhead::cancel() {
  const std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  work_.notify_all();
  done_.notify_all();
}

void OpenAhead::open_files() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [this] { return cancelled_ || next_ < first_ + asked_.size(); });
    --idle_;
    if (cancelled_) return;
    Asked& asked = asked_[next_++ - first_];
    FileToOpen file = std::move(asked.file);
    lock.unlock();
    OpenedFile opened = open_(std::move(file), asked.block);
    lock.lock();
    asked.opened = std::move(opened);
    if (taker_waits_ && &asked == &asked_.front()) done_.notify_one();
  }
}

}  // namespace korvidan::scan
