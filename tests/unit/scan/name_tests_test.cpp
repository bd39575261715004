#include <gtest/gtest.h>

#include "scan/scan.hpp"

namespace korvidan::scan {
namespace {

constexpr platform::PathStyle posix = platform::PathStyle::posix;
constexpr platform::PathStyle windows = platform::PathStyle::windows;

// The exclusion marks begin with the style's separator and match anywhere in the entry
// path, byte for byte; the file type must be exactly txt or TXT.
TEST(NameTests, exclusion_marks_and_file_types_in_both_path_styles) {
  const struct {
    platform::PathStyle style;
    std::string_view entry_path;
    bool searched;
  } cases[] = {
      {windows, "d\\a.txt", true},
      {windows, "d\\b.TXT", true},
      {windows, "d\\Mendolux4SELECT.TXT", false},
      {windows, "d\\Mendolux4RVS.TXT", false},
      {windows, "d\\Mendolux4RVS_old.txt", false},
      {windows, "d\\WapselSELECT2.txt", false},
      {windows, "d\\BrondikalSELECTdata\\x.txt", false},
      {windows, "d\\GrevastonSELECT\\x.txt", false},
      {windows, "d\\mendolux4rvs.txt", true},  // a mark in another case does not match
      {windows, "d/Mendolux4RVS.txt", true},   // the mark begins with a backslash there
      {windows, "d\\notes.Txt", false},
      {windows, "d\\notes.text", false},
      {windows, "d\\notes.TXT.bak", false},
      {windows, "d\\.txt", false},
      {windows, "d\\README", false},
      {posix, "d/a.txt", true},
      {posix, "d/Mendolux4SELECT.TXT", false},
      {posix, "d/sub/Mendolux4RVS_old.txt", false},
      {posix, "d/WapselSELECT/x.txt", false},
      {posix, "d\\Mendolux4RVS.txt", true},  // a backslash is a plain character here
      {posix, "d/mendolux4rvs.txt", true},
      {posix, "d/x.Txt", false},
      {posix, "d/.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(passes_name_tests(c.entry_path, c.style), c.searched)
        << (c.style == windows ? "windows " : "posix ") << c.entry_path;
  }
  EXPECT_EQ(exclusion_marks(windows)[3], "\\Mendolux4SELECT");
  EXPECT_EQ(exclusion_marks(posix)[4], "/Mendolux4RVS");
}

}  // namespace
}  // namespace korvidan::scan
