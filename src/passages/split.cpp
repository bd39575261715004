#include "passages/passages.hpp"

namespace korvidan::passages {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view crlf = "\r\n";

}  // namespace

void split_passages(std::int32_t break_count, std::string_view file_text,
                    PassageWorkspace& workspace) {
  std::string& buffer = workspace.line_buffer;
  buffer.clear();
  std::int64_t break_run = 1;
  std::uint64_t line_number = 0;
  std::uint64_t first_line = 1;
  text::for_each_line(file_text, [&](std::string_view line) {
    ++line_number;
    if (line_number == 1 && line.starts_with(byte_order_mark))
      line.remove_prefix(byte_order_mark.size());
    if (line.empty()) {
      ++break_run;
      buffer.append(crlf);
    } else if (break_run < break_count) {
      buffer.append(line).append(crlf);
      break_run = 1;
    } else {
      workspace.passages.push_back({buffer, first_line, line_number - 1});
      buffer.clear();
      buffer.append(line).append(crlf);
      break_run = 1;
      first_line = line_number;
    }
  });
  workspace.passages.push_back({buffer, first_line, line_number == 0 ? 1 : line_number});
}

PassageCutter::PassageCutter(std::int32_t break_count, std::string_view file_text)
    : PassageCutter(break_count) {
  start(file_text, true);
}

void PassageCutter::reset() {
  std::vector<std::size_t> kept = std::move(bare_line_feeds_);
  kept.clear();
  *this = PassageCutter(static_cast<std::int32_t>(break_count_));
  bare_line_feeds_ = std::move(kept);
}

void PassageCutter::start(std::string_view text, bool end_of_file) {
  // The caller dropped the consumed bytes: positions move back by as many.
  drop_yielded_line_feeds();
  for (std::size_t& line_feed : bare_line_feeds_) line_feed -= begin_;
  position_ -= begin_;
  line_feeds_.reset();
  searched_ = searched_ > begin_ ? searched_ - begin_ : 0;
  begin_ = 0;
  text_ = text;
  end_of_file_ = end_of_file;
  if (mark_decided_) return;
  // The mark is not part of line 1: the first passage begins after it.
  if (text_.size() < byte_order_mark.size() && !end_of_file_ &&
      byte_order_mark.starts_with(text_)) {
    return;  // too few bytes yet to tell
  }
  mark_decided_ = true;
  if (text_.starts_with(byte_order_mark)) begin_ = position_ = byte_order_mark.size();
}

std::size_t PassageCutter::last_passage_begin(std::string_view text, std::size_t from) const {
  // Backwards over the complete lines: the last line with content that follows at least
  // break_count - 1 empty lines begins the last passage.
  const std::size_t complete = text.rfind('\n');
  if (complete == std::string_view::npos || complete < from) return from;
  std::size_t candidate = std::string_view::npos;  // a line with content after `empties`
  std::int64_t empties = 0;
  std::size_t line_end = complete;  // the LF of the line looked at
  for (;;) {
    const std::size_t line_feed =
        line_end == 0 ? std::string_view::npos : text.rfind('\n', line_end - 1);
    const std::size_t line_begin = line_feed == std::string_view::npos ? 0 : line_feed + 1;
    if (line_begin <= from) {
      // The line at `from`, which has content, ends the run of empty lines.
      return candidate != std::string_view::npos && empties + 1 >= break_count_ ? candidate : from;
    }
    const bool empty =
        line_end == line_begin || (line_end == line_begin + 1 && text[line_begin] == '\r');
    if (empty) {
      ++empties;
    } else {
      if (candidate != std::string_view::npos && empties + 1 >= break_count_) return candidate;
      candidate = line_begin;
      empties = 0;
    }
    line_end = line_feed;
  }
}

void PassageCutter::resume(std::string_view text, std::size_t passage_begin,
                           std::uint64_t first_line, bool end_of_file) {
  reset();
  mark_decided_ = true;  // a file's mark lies before its first passage
  text_ = text;
  end_of_file_ = end_of_file;
  begin_ = position_ = passage_begin;
  line_number_ = first_line - 1;
  first_line_ = first_line;
  passage_begins_ = true;
}

void PassageCutter::stop_listing() {
  // The list holds the passage being read alone.
  bare_line_feeds_.clear();
  unlisted_ = true;
}

void PassageCutter::drop_yielded_line_feeds() {
  bare_line_feeds_.erase(bare_line_feeds_.begin(),
                         bare_line_feeds_.begin() + static_cast<std::ptrdiff_t>(yielded_bare_));
  yielded_bare_ = 0;
}

bool PassageCutter::wait_for_more() {
  // Only a lone mark can be dropped whole; the last passage must still know its line was
  // left open.
  if (begin_ > 0) dropped_open_line_ = text_[begin_ - 1] != '\n';
  return false;
}

}  // namespace korvidan::passages
