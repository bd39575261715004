// The reading stage of a search: the listing, opening, reading and UTF-8 check of the
// files (a FileSource) on a thread of its own, a few blocks ahead; or, where the processors
// are too few for a thread of its own, made one by one as they are asked for, on the
// asking thread. Where asked, the next files of a folder are opened and their first blocks
// read on threads of their own (`OpenAhead`), several at once.
#pragma once

#include <cstddef>
#include <optional>
#include <thread>

#include "scan/block_pool.hpp"
#include "scan/file_source.hpp"
#include "scan/handoff.hpp"
#include "scan/open_ahead.hpp"

namespace korvidan::scan {

class ReadAhead {
 public:
  // `threaded`: the items are made on a thread of their own, a few blocks ahead.
  // `open_ahead`: up to that many files of a folder are opened ahead at once, each with a
  // block of its own besides `blocks`.
  ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded,
            std::size_t open_ahead = 0);
  // Cancels the reading and waits for its thread.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The consuming side: `done` once cancelled.
  ReadItem pop();
  BlockPool& blocks() { return blocks_; }
  // Ends the reading: every wait of the reading side, and `pop`, returns.
  void cancel();

 private:
  static constexpr std::size_t max_items = 64;
  ReadItem next();

  FileSource& source_;  // the reading thread's (on two threads or one, the caller of `pop`)
  // Between the threads, each behind a lock of its own.
  BlockPool blocks_;
  std::optional<OpenAhead> opening_;  // before the pool it reads into is gone
  Handoff<ReadItem> items_{max_items};
  std::optional<std::thread> thread_;  // the reading thread, where it has one of its own
};

}  // namespace korvidan::scan
