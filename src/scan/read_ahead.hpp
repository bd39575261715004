// Reading ahead: the listing, opening, reading and UTF-8 check of the files (a FileSource)
// run on a thread of their own while the passages of the files before are cut, tested and
// written on the calling thread. Items come out in exactly the order one thread would have
// met them, errors included, and a fixed number of blocks bounds the memory in flight.
// Where the process may use one processor only, the items are made one by one as they are
// asked for: a second thread would only cost its hand-offs.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "text/text.hpp"

namespace korvidan::scan {

struct ScanContext;

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

struct ReadItem {
  enum class Kind {
    file,     // a text file begins: `path` as shown, `heading` whether form I writes it
    text,     // the next bytes of that file, UTF-8 so far; `end_of_file` after its last
    failed,   // the file could not be opened or read, or is not UTF-8: `error`
    stopped,  // a folder could not be listed: `stop`
    done,     // nothing more
  };
  Kind kind = Kind::done;
  std::string path;
  bool heading = false;
  Block* block = nullptr;
  bool end_of_file = false;
  platform::Error error;
  platform::Stop stop;
  bool ends_run() const {
    return kind == Kind::failed || kind == Kind::stopped || kind == Kind::done;
  }
};

class ReadAhead;

// The files of a run, one item at a time: one named file, or the walk of a folder (its
// sub-folders too, depth first in listing order, when `enter_sub_folders`).
class FileSource {
 public:
  explicit FileSource(std::string target);
  FileSource(std::string folder, bool enter_sub_folders, const ScanContext& context);
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  ~FileSource();
  // The next item; after one that ends the run, `done`. A block for a text item comes from
  // `ahead`; when it has none any more (cancelled), `done`.
  ReadItem next(ReadAhead& ahead);

 private:
  struct Level;
  struct Pending {
    std::string path;
    platform::Result<platform::Handle> opened;
    bool heading;
  };
  // Walks on to the next text file; nullopt with `ending_` set when there is none.
  std::optional<Pending> next_file();
  ReadItem read_block(ReadAhead& ahead);

  std::string target_;
  bool folder_ = false;
  bool enter_sub_folders_ = false;
  const ScanContext* context_ = nullptr;
  bool started_ = false;
  std::vector<Level> levels_;
  int consecutive_errors_ = 0;
  std::optional<platform::Handle> file_;  // the file being read
  text::Utf8Checker checker_;
  std::optional<ReadItem> ending_;  // the item that ends the run, once known
};

class ReadAhead {
 public:
  // `threaded`: the items are made on a thread of their own, a few blocks ahead.
  ReadAhead(std::size_t blocks, std::size_t block_size, FileSource& source, bool threaded);
  // Cancels the reading and waits for its thread.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The consuming side.
  ReadItem pop();
  void give_back(Block* block);
  // The reading side: waits for a free block; nullptr once cancelled.
  Block* take_block();

 private:
  static constexpr std::size_t max_items = 64;
  static constexpr std::size_t wake_batch = 4;
  bool push(ReadItem item);
  void cancel();

  FileSource& source_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Block>> blocks_;
  std::vector<Block*> free_;
  std::deque<ReadItem> items_;
  bool cancelled_ = false;
  bool consumer_waits_ = false;
  bool producer_waits_ = false;
  std::optional<std::thread> thread_;
};

}  // namespace korvidan::scan
