// Cutting a file's text into passages: runs of lines closed where `break_count`
// consecutive line breaks, or more, occur. Knows nothing of conditions, files or forms.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.hpp"

namespace korvidan::passages {

// ---- passages

// A passage with its own copy of its text, every line followed by CR LF.
struct Passage {
  std::string text;
  std::uint64_t first_line = 0;
  std::uint64_t last_line = 0;
  friend bool operator==(const Passage&, const Passage&) = default;
};

struct PassageWorkspace {
  std::string line_buffer;
  std::vector<Passage> passages;
  // Empties both, keeping their storage.
  void clear() {
    line_buffer.clear();
    passages.clear();
  }
};

// Cuts the whole text into `workspace.passages` (appended), each with a copy of its text.
// The straightforward form of the rule; the file processors use PassageCutter, which
// yields the same passages as views without copying.
void split_passages(std::int32_t break_count, std::string_view file_text,
                    PassageWorkspace& workspace);

// A passage as a region of the text: the raw bytes of its lines, the byte-order mark of
// the file excluded. `unterminated` says the region's last line has no LF in the file;
// `unlisted`, that the passage has too many lines without CR to list them all.
struct PassageSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::uint64_t first_line = 0;
  std::uint64_t last_line = 0;
  bool unterminated = false;
  bool unlisted = false;
};

// Yields the passages of a file one by one, in order; at least one for every file. The
// file may come in pieces: each `start` hands over the text from the first byte still
// needed (the whole file, or the unconsumed bytes of the previous text followed by what
// has been read since), and `next` yields the passages that text completes.
class PassageCutter {
 public:
  explicit PassageCutter(std::int32_t break_count) : break_count_(break_count) {}
  PassageCutter(std::int32_t break_count, std::string_view file_text);
  // Ready for the next file; the storage it keeps is reused.
  void reset();
  void start(std::string_view text, bool end_of_file);
  // Where the last passage that the complete lines of `text` after `from` begin starts
  // (`from` itself, the start of a passage's first line, where none does): the passages
  // from `from` to there are complete, found without cutting them.
  std::size_t last_passage_begin(std::string_view text, std::size_t from) const;
  // Goes on in `text` as if it had cut every passage before `passage_begin`, where one
  // begins with line `first_line` (as another cutter found it): from there it yields the
  // same passages as that cutter.
  void resume(std::string_view text, std::size_t passage_begin, std::uint64_t first_line,
              bool end_of_file);
  // False when the text holds no further complete passage (or, at the end of the file,
  // after the last one).
  bool next(PassageSpan& span);
  // The same, inlined wherever it is called (where the compiler would not: forcing it on
  // every caller made others slower).
  bool next_inlined(PassageSpan& span);
  // Bytes at the front of the current text that no passage needs any more.
  std::size_t consumed() const { return begin_; }
  // Where, in the current text, the passage `next` yielded last has an LF without CR
  // before it: the lines it has to write with a CR added (none when it is `unlisted`).
  std::span<const std::size_t> bare_line_feeds() const {
    return {bare_line_feeds_.data(), yielded_bare_};
  }
  // The lines of the passage `next` yielded last, as the result files hold them.
  text::LineRegion lines(const PassageSpan& span) const {
    return {text_, span.begin, span.end, bare_line_feeds(), span.unterminated, !span.unlisted};
  }

 private:
  std::string_view text_;
  bool end_of_file_ = false;
  bool mark_decided_ = false;
  std::int64_t break_count_;
  std::size_t position_ = 0;
  std::size_t searched_ = 0;  // how far the current line has been searched for its LF
  text::LineFeedScanner line_feeds_;
  std::uint64_t line_number_ = 0;
  // Wider than the line count's 32-bit origin so that billions of empty lines cannot wrap it.
  std::int64_t break_run_ = 1;
  std::uint64_t first_line_ = 1;
  std::size_t begin_ = 0;
  bool dropped_open_line_ = false;
  bool finished_ = false;
  bool passage_begins_ = false;  // the next line begins a passage, whatever the breaks
  // The bare LFs of the passage yielded last (the first yielded_bare_) and of the lines
  // read after it; once that passage is dropped, those of the passage being read. A
  // passage of more lines is written by finding its LFs again: a list of a 200 MB
  // passage's took 64 MB.
  static constexpr std::size_t max_listed = 65536;
  std::vector<std::size_t> bare_line_feeds_;
  std::size_t yielded_bare_ = 0;
  bool unlisted_ = false;  // the passage being read has more

  bool wait_for_more();
  void list_bare_line_feed(std::size_t line_feed, std::size_t none) {
    if (line_feed == none || unlisted_) return;
    if (bare_line_feeds_.size() < max_listed) {
      bare_line_feeds_.push_back(line_feed);
    } else {
      stop_listing();
    }
  }
  void stop_listing();
  void drop_yielded_line_feeds();
};

// Inline, so that the span stays in registers: read back from memory by the caller, it
// waited for the stores that wrote it, field by field (a stall every passage).
inline bool PassageCutter::next(PassageSpan& span) { return next_inlined(span); }

[[gnu::always_inline]] inline bool PassageCutter::next_inlined(PassageSpan& span) {
  if (finished_ || !mark_decided_) return false;
  drop_yielded_line_feeds();
  const char* data = text_.data();
  const std::size_t size = text_.size();
  while (position_ < size) {
    const std::size_t line_begin = position_;
    std::size_t content_end = size;
    std::size_t following = size;
    std::size_t bare_line_feed = size;  // none
    // A line that was incomplete before is not searched again for its LF.
    const std::size_t from = searched_ > position_ ? searched_ : position_;
    if (const std::size_t line_feed = line_feeds_.next(text_, from); line_feed < size) {
      following = line_feed + 1;
      const bool after_cr = line_feed > line_begin && data[line_feed - 1] == '\r';
      content_end = after_cr ? line_feed - 1 : line_feed;
      if (!after_cr) bare_line_feed = line_feed;
    } else if (!end_of_file_) {
      searched_ = size;
      return wait_for_more();  // the line is not complete yet
    }
    ++line_number_;
    position_ = following;
    if (line_begin == content_end) {
      list_bare_line_feed(bare_line_feed, size);
      if (break_run_ < INT64_MAX) ++break_run_;
      continue;
    }
    if (break_run_ < break_count_ || passage_begins_) {
      list_bare_line_feed(bare_line_feed, size);
      break_run_ = 1;
      passage_begins_ = false;
      continue;
    }
    yielded_bare_ = bare_line_feeds_.size();
    span = {begin_, line_begin, first_line_, line_number_ - 1, false, unlisted_};
    // The new line's own LF belongs to the next passage.
    unlisted_ = false;
    list_bare_line_feed(bare_line_feed, size);
    begin_ = line_begin;
    first_line_ = line_number_;
    break_run_ = 1;
    return true;
  }
  if (!end_of_file_) return wait_for_more();
  finished_ = true;
  const bool unterminated = size != 0 ? text_.back() != '\n' : dropped_open_line_;
  yielded_bare_ = bare_line_feeds_.size();
  span = {begin_, size, first_line_, line_number_ == 0 ? 1 : line_number_, unterminated, unlisted_};
  begin_ = size;  // the whole text is done with, whoever stops after this passage
  return true;
}

}  // namespace korvidan::passages
