#include <cstring>

#include "platform/platform.hpp"

namespace korvidan::platform {

FileBuffer::~FileBuffer() {
  if (data_ != nullptr) release_file_storage(data_, capacity_);
}

bool FileBuffer::reserve(std::size_t capacity) {
  if (capacity > capacity_) {
    if (grow_file_storage(data_, capacity_, capacity)) {
      capacity_ = capacity;
      return true;
    }
    // Not value-initialised: a multi-GB passage would otherwise be written twice.
    char* grown = allocate_file_storage(capacity);
    if (grown == nullptr) return false;
    if (size_ != 0) std::memcpy(grown, data_, size_);
    if (data_ != nullptr) release_file_storage(data_, capacity_);
    data_ = grown;
    capacity_ = capacity;
  }
  return true;
}

void FileBuffer::drop_front(std::size_t count) {
  if (count == 0) return;
  std::memmove(data_, data_ + count, size_ - count);
  size_ -= count;
}

Status read_whole_file(Handle handle, FileBuffer& buffer) {
  buffer.clear();
  // Only small files (condition files) are read whole: no need to ask for their size first.
  std::size_t capacity = std::size_t{1} << 16;
  for (;;) {
    if (!buffer.reserve(capacity)) {
      buffer.clear();
      return out_of_memory();
    }
    const std::size_t room = buffer.spare_size();
    const Result<std::size_t> got = read_up_to(handle, buffer.spare(), room);
    if (!got.ok()) {
      buffer.clear();
      return got.error();
    }
    buffer.commit(got.value());
    if (got.value() < room) return success();
    capacity *= 2;
  }
}

}  // namespace korvidan::platform
