// Files opened and their first blocks read on threads of their own, several at once, and
// taken back in the order they were asked for: on a share or a slow disk each open and
// read waits for the device, and one file after another would wait for each in turn.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "scan/block_pool.hpp"
#include "scan/file_source.hpp"

namespace korvidan::scan {

class OpenAhead {
 public:
  // How a file is opened and its first block read, on an opening thread.
  using Open = std::function<OpenedFile(FileToOpen, Block*)>;
  // `threads` opening threads, at most `window` files asked and not taken back; the blocks
  // asked with come from `blocks`.
  OpenAhead(std::size_t threads, std::size_t window, BlockPool& blocks, Open open);
  // Cancels, waits for the opening threads, and closes what was opened and not taken,
  // its blocks given back.
  ~OpenAhead();
  OpenAhead(const OpenAhead&) = delete;
  OpenAhead& operator=(const OpenAhead&) = delete;

  // The asking side, one thread.
  bool full();
  bool empty();
  // Asks for `file` to be opened, its first block read into `block`. Never waits: the
  // asking side keeps to the window (`full`).
  void ask(FileToOpen file, Block* block);
  // The file asked for first and not taken yet, once it is opened: waits for it; nullopt
  // once cancelled.
  std::optional<OpenedFile> take();
  // Ends every wait, `take` and the opening threads' own.
  void cancel();

 private:
  struct Asked {
    FileToOpen file;
    Block* block;
    std::optional<OpenedFile> opened;
  };
  void open_files();

  const std::size_t window_;
  const std::size_t threads_wanted_;
  BlockPool& blocks_;
  const Open open_;
  std::mutex mutex_;
  std::condition_variable work_;  // an opening thread waits for a file to open
  std::condition_variable done_;  // the asking side waits for the oldest to be opened
  // In the order asked; `first_` numbers the front, `next_` the first not begun. Elements
  // stay where they are while the front is taken and the back asked for.
  std::deque<Asked> asked_;
  std::size_t first_ = 0;
  std::size_t next_ = 0;
  std::size_t idle_ = 0;
  bool taker_waits_ = false;
  bool cancelled_ = false;
  std::vector<std::thread> threads_;  // the asking side's to start and join
};

}  // namespace korvidan::scan
