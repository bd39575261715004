#include <gtest/gtest.h>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

TEST(Wtf8, lossy_replaces_each_maximal_invalid_subpart) {
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

TEST(Wtf8, wtf8_round_trips_unpaired_surrogates) {
  const std::u16string units = {u'a', 0xD800, u'東', 0xD83D, 0xDE00, 0xDC00};
  const std::string encoded = utf16_to_wtf8(units);
  EXPECT_EQ(encoded, "a\xED\xA0\x80東\xF0\x9F\x98\x80\xED\xB0\x80");
  EXPECT_EQ(wtf8_to_utf16(encoded), units);
  EXPECT_EQ(wtf8_to_utf16("\xFF"), std::nullopt);
}

}  // namespace
}  // namespace korvidan::platform
