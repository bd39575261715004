#include <gtest/gtest.h>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

constexpr PathStyle posix = PathStyle::posix;
constexpr PathStyle windows = PathStyle::windows;

struct PathCase {
  PathStyle style;
  std::string_view path;
  std::string_view expected;
};

TEST(PathRules, parent_part_keeps_roots_and_drops_the_last_component) {
  const PathCase cases[] = {
      {windows, R"(C:\docs\a.txt)", R"(C:\docs)"},
      {windows, R"(C:\a.txt)", R"(C:\)"},
      {windows, "C:a.txt", "C:"},
      {windows, "a.txt", ""},
      {windows, R"(\a.txt)", R"(\)"},
      {windows, "docs/a.txt", "docs"},
      {windows, R"(docs\\a.txt)", "docs"},
      {windows, R"(\\server\share\a.txt)", R"(\\server\share\)"},
      {windows, R"(.\a.txt)", "."},
      {posix, "/docs/a.txt", "/docs"},
      {posix, "/a.txt", "/"},
      {posix, "a.txt", ""},
      {posix, "docs//a.txt", "docs"},
      {posix, R"(docs\a.txt)", ""},
      {posix, "./a.txt", "."},
  };
  for (const PathCase& c : cases) EXPECT_EQ(parent_part(c.path, c.style), c.expected) << c.path;
}

TEST(PathRules, join_adds_a_separator_only_when_missing) {
  const struct {
    PathStyle style;
    std::string_view folder;
    std::string_view expected;
  } cases[] = {
      {windows, "docs", R"(docs\a.txt)"},
      {windows, R"(docs\)", R"(docs\a.txt)"},
      {windows, "docs/", "docs/a.txt"},
      {windows, ".", R"(.\a.txt)"},
      {windows, "C:", "C:a.txt"},
      {windows, R"(C:\)", R"(C:\a.txt)"},
      {posix, "docs", "docs/a.txt"},
      {posix, "docs/", "docs/a.txt"},
      {posix, R"(docs\)", R"(docs\/a.txt)"},
      {posix, ".", "./a.txt"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(join_entry_path(c.folder, "a.txt", c.style), c.expected) << c.folder;
}

TEST(PathRules, file_type_is_after_the_last_full_stop_of_the_last_component) {
  const struct {
    PathStyle style;
    std::string_view path;
    std::optional<std::string_view> expected;
  } cases[] = {
      {posix, "cond.jkn", "jkn"},
      {posix, "a.b.TXT", "TXT"},
      {posix, "README", std::nullopt},
      {posix, ".jkn", std::nullopt},
      {posix, "name.", ""},
      {posix, "dir.d/README", std::nullopt},
      {posix, "dir/.txt", std::nullopt},
      {posix, R"(dir.x\a)", R"(x\a)"},
      {windows, R"(dir.x\a)", std::nullopt},
      {windows, R"(C:\d\notes.Txt)", "Txt"},
      {posix, "cond.jkn/", "jkn"},
  };
  for (const auto& c : cases) EXPECT_EQ(file_type(c.path, c.style), c.expected) << c.path;
}

}  // namespace
}  // namespace korvidan::platform
