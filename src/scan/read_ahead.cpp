#include "scan/read_ahead.hpp"

#include <utility>

namespace korvidan::scan {

ReadAhead::ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded)
    : source_(source), blocks_(blocks, block_size) {
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      ReadItem item = source_.next(blocks_);
      const bool last = ends_run(item);
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

ReadItem ReadAhead::pop() { return thread_ ? items_.pop() : source_.next(blocks_); }

}  // namespace korvidan::scan
