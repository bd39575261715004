// The testing stage of a search: each file's blocks cut into passages and tested, on a
// thread of its own, up to 16,384 passages an item; the calling thread writes them. Where
// the process may use one processor only, the writing stage cuts and tests a text itself
// as it writes it. With workers, this stage only finds where each block's last whole
// passage ends, and the workers test the passages before it, several blocks at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "platform/platform.hpp"
#include "scan/carry.hpp"
#include "scan/handoff.hpp"
#include "scan/in_order.hpp"
#include "scan/passage_tester.hpp"
#include "scan/read_ahead.hpp"
#include "scan/scan.hpp"

namespace korvidan::scan {

// What holds a piece's bytes while the writing side reads them, one holder at a time: the
// text's block (its last piece), the long passage's buffer (the piece whose last passage
// ends in it), or a copy of the piece's own bytes (any other piece); none where the piece
// has no bytes to read. So the testing stage never reads what it has handed on, nor the
// writing stage what it has not been handed.
struct LongText {
  std::unique_ptr<platform::FileBuffer> buffer;
};
struct PieceCopy {
  std::unique_ptr<platform::FileBuffer> buffer;
};
using PieceHolder = std::variant<std::monostate, Block*, LongText, PieceCopy>;

// A file's item as the writing stage takes it: a text item comes with its passages cut
// and tested, and with what holds the bytes they lie in (`text`).
struct TestedItem {
  ReadItem item;  // a text's is TextBytes for its end of file; its bytes are in `holder`
  std::string_view text;
  TestedText tested;
  PieceHolder holder;
  bool in_one_pass = false;  // a whole text, not cut yet: for `TestAhead::pass`
};

class TestAhead {
 public:
  // `threaded`: the passages are cut and tested on a thread of their own; else a text item
  // comes `in_one_pass`, for the writing side to cut, test and write (`pass`). `workers`
  // (threaded only): that many threads test the texts' passages, and the items still come
  // in order; `in_flight` items at most between this stage and the writing side.
  TestAhead(ReadAhead& ahead, const SearchSetup& setup, bool threaded, std::size_t workers = 0,
            std::size_t in_flight = 0);
  // Cancels the testing and the reading (the pool's waits too, where the testing thread
  // reads) and waits for the testing thread.
  ~TestAhead();
  TestAhead(const TestAhead&) = delete;
  TestAhead& operator=(const TestAhead&) = delete;

  // The writing side: `done` once cancelled.
  TestedItem pop();
  // The writing side writes a text item's passages: those this stage tested, then the
  // rest, which it cuts and tests itself.
  void write(const TestedItem& item, results::ResultFiles& results) {
    write_tested(item.text, item.tested, rest_tester_, results);
  }
  // The writing side cuts and tests a text item `in_one_pass`, and hands each passage to
  // `write(span, lines, selected)` as it comes; the item then holds the text's end, as a
  // last piece does (or a failure).
  template <class Write>
  void pass(TestedItem& item, Write&& write) {
    bool passages_ended = false;
    text_->consumed += tester_.test_each(
        item.text, text_->bytes_of.end_of_file,
        [&write, &passages_ended](const passages::PassageSpan& span, const text::LineRegion& lines,
                                  bool, bool selected) {
          passages_ended = true;
          write(span, lines, selected);
          return true;
        });
    item = end_text(std::move(item), passages_ended);
  }

  // The writing side is done with the item's bytes: it gives back what the item holds.
  void release(TestedItem& item);

 private:
  // At most 16,384 passages an item, a few MiB of lists and copies in flight: even a text
  // of nothing but empty lines or one-line passages keeps the memory small. A block of
  // more passages than an item holds is copied but for its last piece: with 4,096 that
  // was most of every block of 60-byte lines at break count 1 (430 MB: 1.06 of the time
  // of lending the block, 0.98 with 16,384 and a peak of 21 MiB).
  static constexpr std::size_t max_items = 16;
  static constexpr std::size_t max_passages = 16384;
  static constexpr std::size_t max_line_feeds = 65536;
  static constexpr std::size_t max_item_bytes = std::size_t{4} << 20;
  static std::size_t item_bytes(const TestedItem& item) {
    const PieceCopy* const copy = std::get_if<PieceCopy>(&item.holder);
    return 1 + item.tested.passages.size() * sizeof(TestedPassage) +
           item.tested.bare_line_feeds.size() * sizeof(std::size_t) +
           (copy != nullptr ? copy->buffer->size() : 0);
  }
  // The text whose pieces are being cut and tested: in the block of its item, or, after
  // bytes carried beyond the block's headroom, in the carry's buffer (the block's bytes
  // from `block_begin` on).
  struct Text {
    TextBytes bytes_of;  // its end of file, and its block, kept to the last piece
    std::string_view bytes;
    std::size_t consumed = 0;
    bool in_buffer = false;
    std::size_t block_begin = 0;
    // The bytes still needed that lie before the block (in the carry's buffer).
    std::size_t before_block() const { return block_begin - std::min(block_begin, consumed); }
  };
  TestedItem next();
  TestedItem begin_text(TextBytes item);
  TestedItem next_piece();
  // The last piece of the text: what holds its bytes goes with it, its tail to the carry.
  TestedItem end_text(TestedItem tested, bool passages_ended);
  // A piece before the last: its `size` bytes copied, or, in the carry's buffer, the
  // buffer handed on and the text gone on in its block (or in a fresh buffer).
  TestedItem copy_piece(TestedItem tested, std::size_t size);
  TestedItem leave_buffer(TestedItem tested);
  TestedItem fail(TestedItem failure);
  // Hands an item on to the writing side, through the workers where there are any;
  // false once cancelled.
  bool hand_on(TestedItem item);
  // A worker's job: the passages of the item's rest listed and tested.
  void list_rest(TestedItem& item, std::size_t worker);
  TestedText fresh_list();
  std::unique_ptr<platform::FileBuffer> fresh_copy();

  // Set at construction.
  ReadAhead& ahead_;  // its `pop` is the testing thread's; its pool takes blocks from any
  const bool threaded_;
  std::size_t max_recycled_ = 4;

  // The testing thread's (on one thread, the calling thread's).
  PassageTester tester_;
  Carry carry_;  // the bytes the last text left: an unfinished passage
  bool ended_ = false;
  std::optional<Text> text_;
  // How much of each text, in 64ths from its front, this stage tests; the writing side
  // cuts and tests the rest with a tester of its own (`rest_tester_`). With workers, this
  // stage tests none: they list and test the rest. It matters where testing is the limit:
  // a 1 GB file with 1,000 keywords at AVX2 took 0.94 s with every passage tested here,
  // 0.75 s with this rule; steps of 2 or 8, or floors of 0 or 16, 0.73 to 0.78 s (medians
  // of 7 runs in turn, two cores). Where writing is the limit (a short query) it moves the
  // time by 4 % at most.
  static constexpr std::size_t whole_share = 64;
  static constexpr std::size_t min_share = 8;
  static constexpr std::size_t share_step = 4;
  std::size_t share_ = whole_share;

  // The calling thread's: the rest of each piece, cut (and tested, without workers).
  PassageTester rest_tester_;

  // Each worker's own: its tester, by the worker's number.
  std::vector<std::unique_ptr<PassageTester>> worker_testers_;

  // Between the threads, each behind a lock of its own: the items on their way to the
  // writing side (through the workers, in order, where there are workers); a turn for each
  // long passage's buffer on its way there (at most two in flight, so that the memory stays
  // bounded whatever the passages); the passage lists and piece copies the writing side is
  // done with, for the next texts (a fresh list for each block cost a page fault every few
  // passages).
  Handoff<TestedItem> items_{max_items, max_item_bytes};
  std::optional<InOrder<TestedItem>> tested_by_workers_;
  Turns long_text_turns_{2};
  std::mutex recycled_mutex_;
  std::vector<TestedText> recycled_;
  std::vector<std::unique_ptr<platform::FileBuffer>> recycled_copies_;

  std::optional<std::thread> thread_;  // the testing thread, joined by the destructor
};

}  // namespace korvidan::scan
