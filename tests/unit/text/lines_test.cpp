#include <gtest/gtest.h>

#include "text/text.hpp"

namespace korvidan::text {
namespace {

TEST(SplitLines, line_rule) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(split_lines(""), Lines{});
  EXPECT_EQ(split_lines("\n"), Lines{""});
  EXPECT_EQ(split_lines("a\r\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(split_lines("a\rb"), Lines{"a\rb"});
  EXPECT_EQ(split_lines("a\n\nb\r"), (Lines{"a", "", "b\r"}));
  EXPECT_EQ(split_lines("a\r\r\n"), Lines{"a\r"});
  EXPECT_EQ(split_lines("\r\n\r\n"), (Lines{"", ""}));
}

}  // namespace
}  // namespace korvidan::text
