#include <gtest/gtest.h>

#include "conditions/conditions.hpp"

namespace korvidan::conditions {
namespace {

#define FEFF "\xEF\xBB\xBF"

TEST(StripLeadingFeff, up_to_three_leading_marks_go) {
  const struct {
    std::string_view text;
    std::string_view expected;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {FEFF, ""},
      {FEFF FEFF, ""},
      {FEFF FEFF FEFF, ""},
      {FEFF "abc", "abc"},
      {FEFF FEFF "abc", "abc"},
      {FEFF FEFF FEFF "abc", "abc"},
      {FEFF FEFF FEFF FEFF "abc", FEFF "abc"},
      {"a" FEFF, "a" FEFF},
      {FEFF "\n" FEFF "x", "\n" FEFF "x"},
      {"\xEF\xBB", "\xEF\xBB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(strip_leading_feff(c.text), c.expected) << ::testing::PrintToString(c.text);
}

}  // namespace
}  // namespace korvidan::conditions
