#include "driver/result_file.hpp"

#include <cstring>

#include "driver/messages.hpp"

namespace korvidan::driver {

ResultFile::ResultFile(platform::Handle handle) : handle_(handle), storage_(new char[buffer_size]) {
  buffer_ = storage_.get();
  capacity_ = buffer_size;
}

ResultFile::~ResultFile() {
  if (open_) close();
}

void ResultFile::take_overflow(std::string_view bytes) {
  flush();
  if (bytes.size() >= capacity_) {
    if (!write_through(bytes)) write_failed(*failure_);
    return;
  }
  std::memcpy(buffer_, bytes.data(), bytes.size());
  used_ = bytes.size();
}

bool ResultFile::write_through(std::string_view bytes) {
  const platform::Status written = platform::write_all(handle_, bytes);
  if (written.ok()) return true;
  failure_ = written.error();
  return false;
}

void ResultFile::flush() {
  if (used_ == 0) return;
  const std::string_view pending(buffer_, used_);
  used_ = 0;
  if (!write_through(pending)) write_failed(*failure_);
}

void ResultFile::write_failed(const platform::Error& error) {
  // The partner's bytes were decided before this failure; they must not be lost with it.
  // Its own failure, if any, changes nothing: the stop is already this one.
  if (partner_ != nullptr && partner_->used_ != 0) {
    const std::string_view pending(partner_->buffer_, partner_->used_);
    partner_->used_ = 0;
    (void)partner_->write_through(pending);
  }
  platform::fatal_stop(messages::cannot_write, error);
}

void ResultFile::close() {
  flush();
  platform::close_file(handle_);
  open_ = false;
}

}  // namespace korvidan::driver
