// A result file written through a buffer of its own, one of the run's pair. After any end
// the program makes itself, the pair holds exactly what unbuffered writes would have left:
// when a write fails, the failing file keeps what the system took, and its partner gets
// every byte decided before the failing write request and none decided after it.
#pragma once

#include <memory>
#include <vector>

#include "passages/passages.hpp"
#include "platform/platform.hpp"

namespace korvidan::driver {

class ResultFile final : public passages::ResultSink {
 public:
  // `last_appended` is the slot the pair shares to tell which file took the last bytes.
  ResultFile(platform::Handle handle, ResultSink** last_appended);
  ~ResultFile();

  void set_partner(ResultFile* partner) { partner_ = partner; }
  // Writes out the buffer; a failure is the "cannot write !!" fatal stop.
  void flush();
  // Flushes, then closes the handle.
  void close();

 private:
  // A run of appends to this file with no append to the partner in between: where it
  // begins in this file, and how far the partner's bytes reached when it began.
  struct Segment {
    std::uint64_t start = 0;
    std::uint64_t partner_position = 0;
  };

  void take_overflow(std::string_view bytes) override;
  void switched() override;
  std::uint64_t position() const { return written_ + used_; }
  // How far the partner's bytes reached when the byte at `position` of this file was decided.
  std::uint64_t partner_position_at(std::uint64_t position) const;
  void write_out(std::string_view bytes);
  [[noreturn]] void write_failed(const platform::Error& error);

  // Large enough that writes cost little next to copying the bytes; small enough to stay
  // in the cache.
  static constexpr std::size_t buffer_size = std::size_t{1} << 20;
  platform::Handle handle_;
  std::unique_ptr<char[]> storage_;
  bool open_ = true;
  ResultFile* partner_ = nullptr;
  std::uint64_t written_ = 0;  // bytes the system has taken
  // The segments from the one holding the first unwritten byte on; consulted only when a
  // write fails.
  std::vector<Segment> segments_;
};

}  // namespace korvidan::driver
