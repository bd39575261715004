#include <cstring>

#include "platform/platform.hpp"

namespace korvidan::platform {

char* FileBuffer::reserve(std::size_t capacity) {
  if (capacity > capacity_) {
    // No value-initialisation: a multi-GB file would otherwise be written twice.
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get();
}

}  // namespace korvidan::platform
