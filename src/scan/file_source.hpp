// The files of a search, one item at a time, in the order one thread would meet them:
// which files a folder run searches, each opened and read once in blocks, each block
// checked for UTF-8, and the failure that ends the run where it comes.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform.hpp"
#include "scan/block_pool.hpp"
#include "text/text.hpp"

namespace korvidan::scan {

struct ScanContext;
class OpenAhead;

// What can happen next, as the reading stage hands it on.
struct NothingMore {};
struct FileBegins {
  std::string path;      // as shown
  bool heading = false;  // form I writes it
};
struct TextBytes {
  Block* block = nullptr;    // the next bytes of the file, UTF-8 so far (none: a piece's)
  bool end_of_file = false;  // after its last
};
struct FileFailed {
  platform::Error error;  // it could not be opened or read, or is not UTF-8
};
struct ListingStopped {
  platform::Stop stop;  // a folder could not be listed
};
using ReadItem = std::variant<NothingMore, FileBegins, TextBytes, FileFailed, ListingStopped>;

inline bool ends_run(const ReadItem& item) {
  return !std::holds_alternative<FileBegins>(item) && !std::holds_alternative<TextBytes>(item);
}

// A text file the walk found, not opened yet.
struct FileToOpen {
  std::string path;  // to open
  FileBegins begins;
  // Listed as a regular file: whether it is one of the run's result files is asked of the
  // open file, and an open that fails is a failure only where the entry is still a search
  // target (one that vanished is passed over).
  bool listed_as_file = false;
};

// A file being read: its handle while more is to be read, and its UTF-8 check so far.
struct OpenFile {
  std::optional<platform::Handle> handle;
  text::Utf8Checker checker;
};

// What opening a file found, and, opened ahead of its turn, its first block read.
struct OpenedFile {
  FileBegins begins;
  bool skipped = false;  // not a file to search after all
  OpenFile file;
  std::optional<ReadItem> first;  // what follows `begins`: its first block, or its failure
};

// The files of a run, one item at a time: one named file, or the walk of a folder (its
// sub-folders too, depth first in listing order, when `enter_sub_folders`).
class FileSource {
 public:
  explicit FileSource(std::string target);
  FileSource(std::string folder, bool enter_sub_folders, const ScanContext& context);
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  ~FileSource();
  // Whether a search may open its files ahead of their turn: a folder's, not a named one.
  bool has_many_files() const { return folder_; }
  // Given `opening`, the files are opened ahead from the first on, not only once opens
  // are seen to wait for the device (for tests and measurement).
  void open_ahead_from_the_start() { opening_ahead_ = true; }
  // The next item; after one that ends the run, `done`. A block for a text item comes from
  // `blocks`; when it has none any more (cancelled), `done`. With `opening`, once opens are
  // seen to wait for the device, the next files of the walk are opened and their first
  // blocks read there, several at once, and handed on in listing order all the same.
  ReadItem next(BlockPool& blocks, OpenAhead* opening = nullptr);
  // Opens `file` (a named file is never passed over); with `block`, reads its first block
  // into it as well (a block it does not use goes back to `blocks`). What `opening` does,
  // on a thread of its own: it reads only what was set at construction.
  OpenedFile open(FileToOpen file, Block* block, BlockPool& blocks) const;

 private:
  struct Level;
  // Walks on to the next text file; nullopt with `walk_end_` set when there is none.
  std::optional<FileToOpen> next_file();
  // Asks `opening` for as many of the next files as it takes, and blocks can be had for.
  void open_ahead(BlockPool& blocks, OpenAhead& opening);
  // The next file in listing order, opened; nullopt at the walk's end (or cancelled).
  std::optional<OpenedFile> next_opened(BlockPool& blocks, OpenAhead* opening);

  // All of it the reading thread's (the one that calls `next`); the opening threads only
  // call `open`, which reads what was set at construction.
  std::string target_;
  bool folder_ = false;
  bool enter_sub_folders_ = false;
  const ScanContext* context_ = nullptr;
  bool started_ = false;
  std::vector<Level> levels_;
  int consecutive_errors_ = 0;
  OpenFile file_;                      // the file being read
  std::optional<ReadItem> queued_;     // the first item of the file begun, read ahead
  std::optional<FileToOpen> unasked_;  // found by the walk, waiting for a block
  std::optional<ReadItem> walk_end_;   // how the walk ended, once it has
  std::optional<ReadItem> ending_;     // the item that ends the run, once it is next
  bool opening_ahead_ = false;         // files are opened ahead, through `opening`
  int slow_opens_ = 0;                 // the last opens here, in a row, that waited
};

}  // namespace korvidan::scan
