#include <gtest/gtest.h>

#include <random>

#include "platform/platform.hpp"
#include "text/every_kernel.hpp"

namespace korvidan::text {
namespace {

KORVIDAN_ON_EVERY_KERNEL(Utf8Test);

TEST_P(Utf8Test, validity_table) {
  const struct {
    std::string_view bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii text, long enough for the block path", true},
      {"東京と大阪の間", true},
      {"\xEF\xBB\xBF", true},
      {"\xF0\x9F\x98\x80", true},
      {"\x93\x8C\x8B\x9E", false},  // Shift_JIS
      {"\xFF\xFE\x71\x67", false},  // UTF-16 with BOM
      {"abcdefgh\xE6\x9D", false},  // cut short at the very end
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // encoded surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\x80", false},
      {"0123456789abcdef\xE6", false},
      {"東京東京東京東京と大阪", true},
      {"東京東京東\xE6\x41\x41京京京", false},  // bad continuation inside the two-at-a-time path
      {"東京東京東京\xE6\x9D\xA5\xE6\x9D", false},  // cut short after fast characters
      {"東京\xED\xA0\x80東京東京", false},          // surrogate between fast characters
      {"東京\xED\x9F\xBF東京東京", true},           // the last character below the surrogates
      {"東京\xE0\x9F\xBF東京東京", false},          // overlong among fast characters
      {"ＡＢＣ\xEF\xBF\xBF東京", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << ::testing::PrintToString(c.bytes);
}

// The fast paths of the validator against the plain decoder of lossy_utf8: text is
// valid exactly when lossy decoding leaves it unchanged.
TEST_P(Utf8Test, validator_agrees_with_the_plain_decoder_on_random_bytes) {
  std::mt19937 random(77);
  const std::string_view valid_pieces[] = {"東",           "京",
                                           "ａ",           "a",
                                           "\n",           "\xED\x9F\xBF",
                                           "\xE0\xA0\x80", "\xF0\x9F\x98\x80",
                                           "\xC3\xA9",     "\xF4\x8F\xBF\xBF"};
  // Each wrong in one way only, so that no other rule can hide a missed one.
  const std::string_view broken_pieces[] = {"\xE6",
                                            "\x9D",
                                            "\xED\xA0\x80",
                                            "\xE0\x80\x80",
                                            "\xFF",
                                            "\x80",
                                            "\xC0\x80",
                                            "\xC1\xBF",
                                            "\xF0\x80\x80\x80",
                                            "\xF4\x90\x80\x80",
                                            "\xF5\x80\x80\x80",
                                            "\xE6\x9D",
                                            "\xF0\x9F\x98",
                                            "\xE3\x81\x41"};
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 60);
    const int broken_at = static_cast<int>(random() % 90);
    for (int i = 0; i <= count; ++i) {
      if (i == broken_at) text += broken_pieces[random() % std::size(broken_pieces)];
      if (i < count) text += valid_pieces[random() % std::size(valid_pieces)];
    }
    const bool valid = platform::lossy_utf8(text) == text;
    ASSERT_EQ(is_valid_utf8(text), valid) << ::testing::PrintToString(text);
    // The piecewise check, cut anywhere, even inside characters or into empty pieces.
    Utf8Checker checker;
    bool fed = true;
    for (std::size_t at = 0; at < text.size() || random() % 3 == 0;) {
      const std::size_t piece = std::min<std::size_t>(random() % 6, text.size() - at);
      fed = checker.feed(std::string_view(text).substr(at, piece)) && fed;
      at += piece;
    }
    ASSERT_EQ(fed && checker.finish(), valid) << ::testing::PrintToString(text);
  }
}

// One wrong byte anywhere in a long Japanese text, in every fast path's reach.
TEST_P(Utf8Test, a_single_wrong_byte_is_found_at_any_position) {
  std::string text;
  while (text.size() < 300) text += "東京の冬は寒い、ＡＢ。";
  text += "ab\n";
  const unsigned char replacements[] = {0x41, 0x80, 0xBF, 0xC0, 0xE0, 0xED, 0xE3, 0xF0, 0xFF};
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const unsigned char replacement : replacements) {
      std::string changed = text;
      changed[at] = static_cast<char>(replacement);
      ASSERT_EQ(is_valid_utf8(changed), platform::lossy_utf8(changed) == changed)
          << "byte " << at << " set to " << int{replacement};
    }
  }
}

// Every byte value at every place of the 64: a start is any byte but 0x80 to 0xBF.
TEST_P(Utf8Test, character_starts_are_the_bytes_that_are_not_continuation_bytes) {
  std::string bytes(64, 'a');
  for (unsigned value = 0; value < 256; ++value) {
    for (std::size_t at = 0; at < 64; ++at) {
      bytes.assign(64, static_cast<char>(0x80 + at % 64));  // continuation bytes only
      bytes[at] = static_cast<char>(value);
      const bool start = value < 0x80 || value > 0xBF;
      ASSERT_EQ(character_starts(bytes.data()), start ? std::uint64_t{1} << at : 0)
          << "byte " << value << " at " << at;
    }
  }
}

}  // namespace
}  // namespace korvidan::text
