#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "text/every_kernel.hpp"

namespace korvidan::text {
namespace {

KORVIDAN_ON_EVERY_KERNEL(LineFeedScannerTest);

// Forward searches from random places, as the cutter makes them (from just after an LF,
// or again from where an incomplete line was searched to), against memchr; some texts
// longer than the 4 KiB whose LFs are kept at once, so that the searches cross from one
// to the next.
TEST_P(LineFeedScannerTest, finds_what_memchr_finds) {
  std::mt19937 random(53);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const std::size_t size = round % 10 == 0 ? 4096 + random() % 9000 : random() % 300;
    const std::size_t spread = 1 + random() % 200;  // LFs dense or sparse
    for (std::size_t i = 0; i < size; ++i)
      text += random() % spread == 0 ? '\n' : static_cast<char>("a\r\xE3\x81"[random() % 4]);
    LineFeedScanner scanner;
    std::size_t from = 0;
    while (from <= text.size()) {
      const void* found = std::memchr(text.data() + from, '\n', text.size() - from);
      const std::size_t expected =
          found == nullptr
              ? text.size()
              : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
      ASSERT_EQ(scanner.next(text, from), expected) << "from " << from << " in " << size;
      from = random() % 3 == 0 ? from + random() % 70 : expected + 1;
    }
  }
}

// After a reset the scanner forgets the LFs it kept: the bytes may have moved.
TEST_P(LineFeedScannerTest, forgets_the_kept_line_feeds_after_a_reset) {
  std::string text(200, 'a');
  text[10] = '\n';
  LineFeedScanner scanner;
  ASSERT_EQ(scanner.next(text, 0), 10U);
  text[10] = 'a';
  text[20] = '\n';
  scanner.reset();
  EXPECT_EQ(scanner.next(text, 0), 20U);
}

}  // namespace
}  // namespace korvidan::text
