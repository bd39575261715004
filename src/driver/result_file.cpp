#include "driver/result_file.hpp"

#include <algorithm>
#include <cstring>

#include "driver/messages.hpp"

namespace korvidan::driver {

ResultFile::ResultFile(platform::Handle handle, ResultSink** last_appended)
    : handle_(handle), storage_(new char[buffer_size]) {
  last_appended_ = last_appended;
  buffer_ = storage_.get();
  capacity_ = buffer_size;
}

ResultFile::~ResultFile() {
  if (open_) close();
}

void ResultFile::switched() {
  segments_.push_back({position(), partner_->position()});
  *last_appended_ = this;
}

void ResultFile::take_overflow(std::string_view bytes) {
  flush();
  if (bytes.size() >= capacity_) {
    write_out(bytes);
    return;
  }
  std::memcpy(buffer_, bytes.data(), bytes.size());
  used_ = bytes.size();
}

void ResultFile::flush() {
  if (used_ == 0) return;
  const std::string_view pending(buffer_, used_);
  used_ = 0;
  write_out(pending);
}

void ResultFile::write_out(std::string_view bytes) {
  const platform::Written written = platform::write_all(handle_, bytes);
  written_ += written.bytes;
  if (!written.ok()) write_failed(*written.error);
  // Only the segment that holds the next unwritten byte, and those after it, can matter.
  const auto holding =
      std::upper_bound(segments_.begin(), segments_.end(), written_,
                       [](std::uint64_t at, const Segment& segment) { return at < segment.start; });
  if (holding - segments_.begin() > 1) segments_.erase(segments_.begin(), holding - 1);
}

std::uint64_t ResultFile::partner_position_at(std::uint64_t at) const {
  const auto holding = std::upper_bound(
      segments_.begin(), segments_.end(), at,
      [](std::uint64_t position, const Segment& segment) { return position < segment.start; });
  return holding == segments_.begin() ? 0 : (holding - 1)->partner_position;
}

// The unbuffered program would have stopped at the failing write request: its partner holds
// what was decided before that request. If the partner's own pending bytes fail on the way,
// that request came first, and this file is cut back to what was decided before it.
void ResultFile::write_failed(const platform::Error& error) {
  ResultFile& partner = *partner_;
  platform::Error cause = error;
  const std::uint64_t partner_target = partner_position_at(written_);
  if (partner.written_ > partner_target) {
    (void)platform::truncate_file(partner.handle_, partner_target);
  } else {
    const std::string_view owed(partner.buffer_,
                                static_cast<std::size_t>(partner_target - partner.written_));
    const platform::Written written = platform::write_all(partner.handle_, owed);
    partner.written_ += written.bytes;
    if (!written.ok()) {
      cause = *written.error;
      const std::uint64_t own_target = partner.partner_position_at(partner.written_);
      if (written_ > own_target) (void)platform::truncate_file(handle_, own_target);
    }
  }
  used_ = 0;
  partner.used_ = 0;
  platform::fatal_stop(messages::cannot_write, cause);
}

void ResultFile::close() {
  flush();
  platform::close_file(handle_);
  open_ = false;
}

}  // namespace korvidan::driver
