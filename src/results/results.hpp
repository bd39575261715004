// The results stage: the one writer of the run. It owns the selection file and the rest
// file and is told, in the order the program decides, what happened: the run began, a text
// file began (with its path), a passage was cut and tested. It alone knows the bytes of the
// files: byte-order marks, file heading lines, form S text, form I passage headings and
// the run counters. Writes go through a buffer per file; after any end the program makes
// itself the files hold exactly what unbuffered writes would have left.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"
#include "text/text.hpp"

namespace korvidan::results {

// Where one result file's bytes go: the open file, or memory in tests.
class ResultTarget {
 public:
  // Writes every byte, or says how many the system took before the error.
  virtual platform::Written write(std::string_view bytes) = 0;
  // Cuts the file back to `size` bytes; the next write goes to its end.
  virtual platform::Status truncate(std::uint64_t size) = 0;

 protected:
  ~ResultTarget() = default;
};

class ResultFiles {
 public:
  // Large enough that writes cost little next to copying the bytes; small enough to stay
  // in the cache.
  static constexpr std::size_t default_buffer_size = std::size_t{1} << 20;

  // Creates, or truncates, the selection file and then the rest file, with full sharing.
  // When the rest file cannot be made, the selection file is closed and stays, empty.
  static platform::Result<std::unique_ptr<ResultFiles>> create(std::string_view selection_path,
                                                               std::string_view rest_path,
                                                               bool indexed);
  // Over two targets the caller owns.
  ResultFiles(ResultTarget& selection, ResultTarget& rest, bool indexed,
              std::size_t buffer_size = default_buffer_size);
  ResultFiles(const ResultFiles&) = delete;
  ResultFiles& operator=(const ResultFiles&) = delete;
  // Closes files it opened itself, writing nothing more: finish() first.
  ~ResultFiles();

  // Each file's byte-order mark, the selection file's first.
  void write_byte_order_marks();
  // A text file of a folder run begins: in form I its path and CR LF go to the selection
  // file, then to the rest file, and its passages' headings carry the path. The counts in
  // file start again. (A single-file run has no heading line and an empty path.)
  void begin_file(std::string_view path);
  // A passage, in file order: to the selection file when `selected`, else to the rest file;
  // in form I after its heading (run count, "first--last  path", count in file).
  void write_passage(bool selected, const text::LineRegion& lines, std::uint64_t first_line,
                     std::uint64_t last_line) {
    Side& side = selected ? selection_ : rest_;
    if (&side != last_side_) switch_to(side);
    if (indexed_) write_heading(side, first_line, last_line);
    lines.emit_crlf([this, &side](std::string_view piece) { append(side, piece); });
  }
  // A write has failed: nothing more is written, and the stop is decided.
  bool stopped() const { return stop_.has_value(); }

  // Where both files stand: what has been decided so far, and the run counters.
  struct Mark {
    std::uint64_t selection = 0;
    std::uint64_t rest = 0;
    std::uint64_t selected_total = 0;
    std::uint64_t rest_total = 0;
    bool stopped = false;
  };
  Mark mark() const {
    return {selection_.position(), rest_.position(), selection_.total, rest_.total, stopped()};
  }
  // Takes back every byte decided since `mark` (a text file that turned out not to be
  // UTF-8): dropped from the buffers, and cut from the files where already written. A
  // failed write on one of those bytes is taken back with them: the stop is withdrawn. A
  // stop that came before the mark stands. A cut that fails is the "cannot write !!" stop.
  void take_back(const Mark& mark);
  // Writes out everything decided. Returns the "cannot write !!" stop of a write that
  // failed, now or earlier; the files then hold what the failing write order leaves.
  std::optional<platform::Stop> finish();
  // Closes files it opened itself: the rest file, then the selection file.
  void close();

  // For tests: the run counters as form I last wrote them.
  std::uint64_t selected_total() const { return selection_.total; }
  std::uint64_t rest_total() const { return rest_.total; }

 private:
  // A run of writes to one file with no write to the other in between: where it begins in
  // this file, and how far the other file's bytes reached then. Kept from the run holding
  // the first unwritten byte on, and read only when a write fails.
  struct Segment {
    std::uint64_t start = 0;
    std::uint64_t other_position = 0;
  };
  struct Side {
    ResultTarget* target = nullptr;
    std::unique_ptr<char[]> storage;
    char* buffer = nullptr;
    std::size_t used = 0;
    std::size_t capacity = 0;  // 0 once a write has failed
    std::size_t buffer_size = 0;
    std::uint64_t written = 0;  // bytes the system has taken
    std::vector<Segment> segments;
    std::uint64_t total = 0;  // form I run count
    std::uint64_t in_file = 0;
    std::uint64_t position() const { return written + used; }
  };
  struct OwnedFiles;

  void append(Side& side, std::string_view bytes) {
    if (bytes.size() < side.capacity - side.used) {
      std::memcpy(side.buffer + side.used, bytes.data(), bytes.size());
      side.used += bytes.size();
    } else {
      overflow(side, bytes);
    }
  }
  void overflow(Side& side, std::string_view bytes);
  void switch_to(Side& side);
  void write_heading(Side& side, std::uint64_t first_line, std::uint64_t last_line);
  void write_out(Side& side, std::string_view bytes);
  bool flush(Side& side);
  Side& other(Side& side) { return &side == &selection_ ? rest_ : selection_; }
  // How far the other file's bytes reached when the byte at `position` of `side` was decided.
  static std::uint64_t other_position_at(const Side& side, std::uint64_t position);
  void write_failed(Side& failing, const platform::Error& error);
  void stop_writing(const platform::Error& cause, const Side& failing, std::uint64_t at);

  bool indexed_;
  Side selection_;
  Side rest_;
  Side* last_side_ = nullptr;
  std::string path_;
  std::optional<platform::Stop> stop_;
  // Where the stop's failing write request lies: its file, and a byte of it.
  const Side* failed_side_ = nullptr;
  std::uint64_t failed_at_ = 0;
  std::unique_ptr<OwnedFiles> owned_;
};

}  // namespace korvidan::results
