// Files opened and their first blocks read on threads of their own, several at once, and
// taken back in the order they were asked for: on a share or a slow disk each open and
// read waits for the device, and one file after another would wait for each in turn.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "scan/block_pool.hpp"
#include "scan/file_source.hpp"
#include "scan/in_order.hpp"

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
  bool full() { return files_.full(); }
  bool empty() { return files_.empty(); }
  // Asks for `file` to be opened, its first block read into `block`. Never waits: the
  // asking side keeps to the window (`full`).
  void ask(FileToOpen file, Block* block) { files_.give({std::move(file), block, {}}); }
  // The file asked for first and not taken yet, once it is opened: waits for it; nullopt
  // once cancelled.
  std::optional<OpenedFile> take();
  // Ends every wait, `take` and the opening threads' own.
  void cancel() { files_.cancel(); }

 private:
  struct Asked {
    FileToOpen file;
    Block* block;
    OpenedFile opened;
  };
  BlockPool& blocks_;
  InOrder<Asked> files_;
};

}  // namespace korvidan::scan
