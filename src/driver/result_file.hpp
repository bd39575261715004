// A result file written through a buffer of its own. Whatever was appended reaches the
// file before the program ends in any way: the driver flushes at the final report and at
// a run error, the scan before its fatal stop, and a failed write flushes the partner file
// before its own fatal stop. So after any stop a result file holds a prefix of what it
// would have held.
#pragma once

#include <memory>

#include "passages/passages.hpp"
#include "platform/platform.hpp"

namespace korvidan::driver {

class ResultFile final : public passages::ResultSink {
 public:
  explicit ResultFile(platform::Handle handle);
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;
  ~ResultFile();

  // The file whose buffered bytes must reach the disk when a write to this one fails.
  void set_partner(ResultFile* partner) { partner_ = partner; }
  // Writes out the buffer; a failure is the "cannot write !!" fatal stop.
  void flush();
  // Flushes, then closes the handle.
  void close();

 private:
  void take_overflow(std::string_view bytes) override;
  [[noreturn]] void write_failed(const platform::Error& error);
  bool write_through(std::string_view bytes);

  // Large enough that writes cost little next to copying the bytes; small enough to stay
  // in the cache.
  static constexpr std::size_t buffer_size = std::size_t{1} << 20;
  platform::Handle handle_;
  std::unique_ptr<char[]> storage_;
  bool open_ = true;
  ResultFile* partner_ = nullptr;
  std::optional<platform::Error> failure_;
};

}  // namespace korvidan::driver
