// The stages of a search. The listing, opening, reading and UTF-8 check of the files (a
// FileSource) run on one thread (`ReadAhead`); the cutting and testing of their passages on
// a second (`TestAhead`); the calling thread writes. Items come out of each stage in
// exactly the order one thread would have met them, errors included, and a fixed number
// of blocks bounds the memory in flight. Where the process may use one processor only,
// each stage makes its items one by one as they are asked for: a thread would only cost
// its hand-offs.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "scan/block_pool.hpp"
#include "scan/carry.hpp"
#include "scan/handoff.hpp"
#include "scan/scan.hpp"
#include "text/text.hpp"

namespace korvidan::scan {

struct ScanContext;

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

  // The consuming side: `done` once cancelled.
  ReadItem pop();
  BlockPool& blocks() { return blocks_; }
  // Ends the reading: every wait of the reading side, and `pop`, returns.
  void cancel();

 private:
  static constexpr std::size_t max_items = 64;

  FileSource& source_;
  BlockPool blocks_;
  Handoff<ReadItem> items_{max_items};
  std::optional<std::thread> thread_;
};

// A file's item as the writing stage takes it: a text item comes with its passages cut
// and tested, and with the bytes they lie in (`text`). The last piece of a text hands over
// what holds those bytes: `item.block`, or `long_text` when a passage outgrew a block's
// headroom; the pieces before it only lend them.
struct TestedItem {
  ReadItem item;
  std::string_view text;
  TestedText tested;
  std::unique_ptr<platform::FileBuffer> long_text;
  bool in_one_pass = false;  // a whole text, not cut yet: for `TestAhead::pass`
};

class TestAhead {
 public:
  // `threaded`: the passages are cut and tested on a thread of their own; else each is
  // written as soon as it is tested, and the items come with none.
  TestAhead(ReadAhead& ahead, PassageStream& stream, bool threaded);
  // Cancels the testing and the reading and waits for the testing thread.
  ~TestAhead();
  TestAhead(const TestAhead&) = delete;
  TestAhead& operator=(const TestAhead&) = delete;

  // The writing side: `done` once cancelled.
  TestedItem pop();
  // The writing side tests the passages of a text item that this stage only cut.
  void test_rest(TestedItem& item);
  // The writing side cuts and tests a text item `in_one_pass`, and hands each passage to
  // `write(span, lines, selected)` as it comes; the item then holds the text's end, as a
  // last piece does (or a failure).
  template <class Write>
  void pass(TestedItem& item, Write&& write) {
    bool passages_ended = false;
    text_->consumed += stream_.tester().test_each(
        item.text, text_->item.end_of_file,
        [&write, &passages_ended](const passages::PassageSpan& span,
                                  const text::LineRegion& lines, bool, bool selected) {
          passages_ended = true;
          write(span, lines, selected);
          return true;
        });
    item = end_text(std::move(item), passages_ended);
  }
  // The writing side is done with the item's bytes: it gives back what the item holds.
  void release(TestedItem& item);

 private:
  // A few thousand passages an item, a few MiB of lists in flight: even a text of
  // nothing but empty lines or one-line passages keeps the memory small.
  static constexpr std::size_t max_items = 16;
  static constexpr std::size_t max_passages = 4096;
  static constexpr std::size_t max_line_feeds = 16384;
  static constexpr std::size_t max_list_bytes = std::size_t{4} << 20;
  static std::size_t list_bytes(const TestedText& list) {
    return 1 + list.passages.size() * sizeof(TestedPassage) +
           list.bare_line_feeds.size() * sizeof(std::size_t);
  }
  // The text whose pieces are being cut and tested: in the block of its item, or in the
  // carry's buffer.
  struct Text {
    ReadItem item;  // its end of file and block go with the last piece
    std::string_view bytes;
    std::size_t consumed = 0;
    bool pieces = false;  // pieces have gone out before the last
  };
  TestedItem next();
  TestedItem begin_text(ReadItem item);
  TestedItem next_piece();
  // The last piece of the text: what holds its bytes goes with it, its tail to the carry.
  TestedItem end_text(TestedItem tested, bool passages_ended);
  TestedItem fail(TestedItem failure);
  TestedText fresh_list();

  ReadAhead& ahead_;
  PassageStream& stream_;
  Carry carry_;  // the bytes the last text left: an unfinished passage
  bool ended_ = false;
  std::optional<Text> text_;
  const bool threaded_;
  // How much of each text, in 64ths from its front, this stage tests; the writing side
  // tests the rest with its own scratch.
  static constexpr std::size_t whole_share = 64;
  static constexpr std::size_t min_share = 8;
  static constexpr std::size_t share_step = 4;
  std::size_t share_ = whole_share;
  std::string scratch_;
  Handoff<TestedItem> items_{max_items, max_list_bytes};
  // One token for each long passage's buffer on its way to the writing side.
  Handoff<bool> long_texts_{2};
  // The passage lists the writing side is done with, for the next texts: a fresh list
  // for each block cost a page fault every few passages.
  static constexpr std::size_t max_recycled = 4;
  std::mutex recycled_mutex_;
  std::vector<TestedText> recycled_;
  std::optional<std::thread> thread_;
};

}  // namespace korvidan::scan
