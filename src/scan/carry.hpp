// The bytes of an unfinished passage, which the testing stage carries from one text of a
// file to the next, so that it never reads a block it has handed on.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/platform.hpp"
#include "scan/block_pool.hpp"

namespace korvidan::scan {

// Before a block goes on to the writing stage, the bytes after its last passage are kept
// here; the next block then begins with them: in its headroom when they fit there, else
// in a buffer that grows with the blocks until a passage ends in it (the buffer then goes
// to the writing stage with its passages). Owned by the testing stage alone.
class Carry {
 public:
  Carry() : buffer_(std::make_unique<platform::FileBuffer>()) {}
  std::size_t size() const { return buffer_->size(); }
  std::string_view view() const { return buffer_->view(); }
  void clear() { buffer_->clear(); }
  // Carries `tail` instead of what was carried; it may lie in the buffer that
  // `hand_over` gave away. False when the memory cannot be had.
  bool keep(std::string_view tail);
  // The text of `block` continuing what is carried: in the block, the carried bytes in its
  // headroom (`in_buffer` false, nothing carried any more), or, when they do not fit, in
  // the buffer, the block's bytes appended (`in_buffer` true). nullopt when the memory
  // cannot be had.
  std::optional<std::string_view> join(Block& block, bool& in_buffer);
  // The buffer, with its text, for the writing stage; an empty one takes its place.
  std::unique_ptr<platform::FileBuffer> hand_over();

 private:
  std::unique_ptr<platform::FileBuffer> buffer_;
};

}  // namespace korvidan::scan
