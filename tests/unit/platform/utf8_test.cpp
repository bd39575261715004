#include <gtest/gtest.h>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

TEST(Utf8, validity_table) {
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
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << ::testing::PrintToString(c.bytes);
}

TEST(Utf8, lossy_replaces_each_maximal_invalid_subpart) {
  EXPECT_EQ(lossy_utf8("a\xFF"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(lossy_utf8("\xE6\x9D"
                       "x"),
            "\xEF\xBF\xBD"
            "x");  // one truncated sequence, one mark
  EXPECT_EQ(lossy_utf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(lossy_utf8("東京"), "東京");
}

TEST(Utf8, wtf8_round_trips_unpaired_surrogates) {
  const std::u16string units = {u'a', 0xD800, u'東', 0xD83D, 0xDE00, 0xDC00};
  const std::string encoded = utf16_to_wtf8(units);
  EXPECT_EQ(encoded, "a\xED\xA0\x80東\xF0\x9F\x98\x80\xED\xB0\x80");
  EXPECT_EQ(wtf8_to_utf16(encoded), units);
  EXPECT_EQ(wtf8_to_utf16("\xFF"), std::nullopt);
}

}  // namespace
}  // namespace korvidan::platform
