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
  // `blocks`; when it has none any more (cancelled), `done`.
  ReadItem next(BlockPool& blocks);

 private:
  struct Level;
  struct Pending {
    std::string path;
    platform::Result<platform::Handle> opened;
    bool heading;
  };
  // Walks on to the next text file; nullopt with `ending_` set when there is none.
  std::optional<Pending> next_file();
  ReadItem read_block(BlockPool& blocks);

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

}  // namespace korvidan::scan
