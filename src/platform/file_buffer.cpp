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

}  // namespace korvidan::platform
