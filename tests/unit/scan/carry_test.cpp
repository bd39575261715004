#include <gtest/gtest.h>

#include <string>

#include "scan/carry.hpp"

namespace korvidan::scan {
namespace {

std::string bytes(std::size_t size, char first) {
  std::string out(size, first);
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<char>(first + static_cast<int>(i % 23));
  return out;
}

// The carried bytes and the next block make one text, whether the carried bytes fit the
// block's headroom or grow in a buffer of their own: around the headroom's edge, where a
// tail one byte too long or too short would go unnoticed by the shorter texts.
TEST(Carry, carried_bytes_and_the_next_block_make_one_text_at_the_headroom_edge) {
  for (const std::size_t carried : {std::size_t{0}, std::size_t{1}, Block::headroom - 1,
                                    Block::headroom, Block::headroom + 1, 3 * Block::headroom}) {
    SCOPED_TRACE(carried);
    Carry carry;
    const std::string tail = bytes(carried, 'a');
    ASSERT_TRUE(carry.keep(tail));
    Block block(100);
    const std::string more = bytes(100, 'A');
    more.copy(block.data(), more.size());
    block.size = more.size();
    bool in_buffer = false;
    const std::optional<std::string_view> text = carry.join(block, in_buffer);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(in_buffer, carried > Block::headroom);
    EXPECT_TRUE(*text == tail + more);
    // In the block, nothing is carried any more; in the buffer, the text is.
    EXPECT_EQ(carry.size(), in_buffer ? tail.size() + more.size() : 0U);
  }
}

// A buffer handed to the writing stage keeps its text; the tail kept from it is a copy, and
// a tail of the carried bytes themselves is moved to the front.
TEST(Carry, a_tail_is_kept_from_a_handed_over_buffer_or_from_the_carried_bytes) {
  Carry carry;
  const std::string text = bytes(3 * Block::headroom, 'a');
  ASSERT_TRUE(carry.keep(text));
  Block block(10);
  block.size = 0;
  bool in_buffer = false;
  const std::string_view joined = carry.join(block, in_buffer).value();
  ASSERT_TRUE(in_buffer);
  const std::unique_ptr<platform::FileBuffer> handed = carry.hand_over();
  ASSERT_TRUE(carry.keep(joined.substr(1000)));
  EXPECT_TRUE(handed->view() == text);
  EXPECT_EQ(carry.size(), text.size() - 1000);

  ASSERT_TRUE(carry.keep(carry.join(block, in_buffer).value().substr(7)));
  bool again = false;
  EXPECT_TRUE(carry.join(block, again).value() == std::string_view(text).substr(1007));
}

}  // namespace
}  // namespace korvidan::scan
