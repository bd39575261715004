#include <cstring>

#include "platform/platform.hpp"

namespace korvidan::platform {

FileBuffer::~FileBuffer() {
  if (data_ != nullptr) release_file_storage(data_, capacity_);
}

char* FileBuffer::reserve(std::size_t capacity) {
  if (capacity > capacity_) {
    // Not value-initialised: a multi-GB file would otherwise be written twice.
    char* grown = allocate_file_storage(capacity);
    if (grown == nullptr) return nullptr;
    if (size_ != 0) std::memcpy(grown, data_, size_);
    if (data_ != nullptr) release_file_storage(data_, capacity_);
    data_ = grown;
    capacity_ = capacity;
  }
  return data_;
}

Status read_whole_file(Handle handle, FileBuffer& buffer) {
  buffer.clear();
  // Only small files (condition files) are read whole: no need to ask for their size first.
  std::size_t capacity = std::size_t{1} << 16;
  for (;;) {
    char* data = buffer.reserve(capacity);
    if (data == nullptr) {
      buffer.clear();
      return out_of_memory();
    }
    const std::size_t held = buffer.view().size();
    const Result<std::size_t> got = read_up_to(handle, data + held, capacity - held);
    if (!got.ok()) {
      buffer.clear();
      return got.error();
    }
    buffer.set_size(held + got.value());
    if (held + got.value() < capacity) return success();
    capacity *= 2;
  }
}

}  // namespace korvidan::platform
