#include <gtest/gtest.h>

#include "driver/driver.hpp"

namespace korvidan::driver {
namespace {

TEST(BreakCount, accepted_and_refused_forms) {
  const struct {
    std::string_view text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"3", 3},
      {"+3", 3},
      {"003", 3},
      {"-1", -1},
      {"0", 0},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0002147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"+-3", std::nullopt},
      {" 3", std::nullopt},
      {"3 ", std::nullopt},
      {"3.0", std::nullopt},
      {"\xEF\xBC\x93", std::nullopt},
      {"1e3", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_break_count(c.text), c.value) << c.text;
}

TEST(OutputFolder, results_go_next_to_the_file) {
  using platform::PathStyle;
  const struct {
    PathStyle style;
    std::string_view target;
    std::string_view selection_path;
  } cases[] = {
      {PathStyle::windows, R"(C:\docs\a.txt)", R"(C:\docs\Mendolux4SELECT.TXT)"},
      {PathStyle::windows, R"(C:\a.txt)", R"(C:\\Mendolux4SELECT.TXT)"},
      {PathStyle::windows, "a.txt", R"(.\Mendolux4SELECT.TXT)"},
      {PathStyle::windows, "C:a.txt", R"(C:.\Mendolux4SELECT.TXT)"},
      {PathStyle::windows, "docs/a.txt", R"(docs\Mendolux4SELECT.TXT)"},
      {PathStyle::posix, "docs/a.txt", "docs/Mendolux4SELECT.TXT"},
      {PathStyle::posix, "a.txt", "./Mendolux4SELECT.TXT"},
      {PathStyle::posix, "/a.txt", "//Mendolux4SELECT.TXT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        result_path(output_folder_for_file(c.target, c.style), "Mendolux4SELECT.TXT", c.style),
        c.selection_path)
        << c.target;
  }
}

}  // namespace
}  // namespace korvidan::driver
