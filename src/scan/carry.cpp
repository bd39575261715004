#include "scan/carry.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace korvidan::scan {
namespace {

// Appends `bytes` to `buffer`, which grows by doubling; false when memory runs out.
bool append(platform::FileBuffer& buffer, std::string_view bytes) {
  if (bytes.size() > buffer.spare_size() &&
      !buffer.reserve(std::max(buffer.size() + bytes.size(), 2 * buffer.capacity()))) {
    return false;
  }
  if (!bytes.empty()) std::memcpy(buffer.spare(), bytes.data(), bytes.size());
  buffer.commit(bytes.size());
  return true;
}

}  // namespace

bool Carry::keep(std::string_view tail) {
  const std::string_view current = buffer_->view();
  const std::less_equal<const char*> not_after;
  if (!current.empty() && not_after(current.data(), tail.data()) &&
      not_after(tail.data(), current.data() + current.size())) {
    // A tail of what is carried: moved to the front.
    buffer_->drop_front(static_cast<std::size_t>(tail.data() - current.data()));
    return true;
  }
  buffer_->clear();
  return append(*buffer_, tail);
}

std::optional<std::string_view> Carry::join(Block& block, bool& in_buffer) {
  const std::size_t carried = buffer_->size();
  in_buffer = carried > Block::headroom;
  if (!in_buffer) {
    char* const begin = block.data() - carried;
    if (carried != 0) std::memcpy(begin, buffer_->view().data(), carried);
    buffer_->clear();
    return std::string_view(begin, carried + block.size);
  }
  if (!append(*buffer_, std::string_view(block.data(), block.size))) return std::nullopt;
  return buffer_->view();
}

std::unique_ptr<platform::FileBuffer> Carry::hand_over() {
  return std::exchange(buffer_, std::make_unique<platform::FileBuffer>());
}

}  // namespace korvidan::scan
