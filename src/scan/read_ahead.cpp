#include "scan/read_ahead.hpp"

#include <algorithm>
#include <utility>

namespace korvidan::scan {

namespace {

// Opening threads for the files opened ahead: most of their time they wait for the
// device, so they are not bounded by the processors.
constexpr std::size_t opening_threads = 16;

}  // namespace

ReadAhead::ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded,
                     std::size_t open_ahead)
    : source_(source), blocks_(blocks + open_ahead, block_size) {
  if (open_ahead != 0 && source.has_many_files()) {
    opening_.emplace(std::min(opening_threads, open_ahead), open_ahead, blocks_,
                     [this](FileToOpen file, Block* block) {
                       return source_.open(std::move(file), block, blocks_);
                     });
  }
  if (!threaded) return;
  thread_.emplace([this] {
    for (;;) {
      ReadItem item = next();
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
  if (opening_) opening_->cancel();
}

ReadItem ReadAhead::next() { return source_.next(blocks_, opening_ ? &*opening_ : nullptr); }

ReadItem ReadAhead::pop() { return thread_ ? items_.pop() : next(); }

}  // namespace korvidan::scan
