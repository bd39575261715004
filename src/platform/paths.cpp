// Path text rules. Paths are never normalised: these functions only find separators,
// components and file types in the text as typed.
#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

bool is_drive_prefix(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const char letter = path[0];
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

// Length of the part of a path that no parent operation may cut into: a drive ("C:"), a
// UNC share ("\\server\share"), followed by its separator if one follows.
std::size_t root_length(std::string_view path, PathStyle style) {
  std::size_t prefix = 0;
  if (style == PathStyle::windows) {
    if (is_drive_prefix(path)) {
      prefix = 2;
    } else if (path.size() > 2 && is_separator(path[0], style) && is_separator(path[1], style) &&
               !is_separator(path[2], style)) {
      // \\server\share: the root runs to the separator after the share name.
      std::size_t position = 2;
      for (int part = 0; part < 2 && position < path.size(); ++part) {
        while (position < path.size() && !is_separator(path[position], style)) ++position;
        if (part == 0 && position < path.size()) ++position;
      }
      prefix = position;
    }
  }
  if (prefix < path.size() && is_separator(path[prefix], style)) ++prefix;
  return prefix;
}

}  // namespace

bool is_separator(char c, PathStyle style) {
  return c == '/' || (style == PathStyle::windows && c == '\\');
}

std::string_view last_component(std::string_view path, PathStyle style) {
  const std::size_t root = root_length(path, style);
  std::size_t end = path.size();
  // A final separator does not open an empty component: "docs/notes.txt/" names notes.txt.
  while (end > root && is_separator(path[end - 1], style)) --end;
  std::size_t begin = end;
  while (begin > root && !is_separator(path[begin - 1], style)) --begin;
  return path.substr(begin, end - begin);
}

std::optional<std::string_view> file_type(std::string_view path, PathStyle style) {
  const std::string_view name = last_component(path, style);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return name.substr(dot + 1);
}

std::string_view parent_part(std::string_view path, PathStyle style) {
  const std::size_t root = root_length(path, style);
  std::size_t end = path.size();
  while (end > root && is_separator(path[end - 1], style)) --end;
  while (end > root && !is_separator(path[end - 1], style)) --end;
  while (end > root && is_separator(path[end - 1], style)) --end;
  // A path that is a bare name has no parent; one that is only a root is its own parent.
  if (end == 0 && root == 0) return {};
  return path.substr(0, end);
}

std::string join_entry_path(std::string_view folder, std::string_view name, PathStyle style) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined.append(folder);
  const bool bare_drive =
      style == PathStyle::windows && folder.size() == 2 && is_drive_prefix(folder);
  // A bare drive ("C:") means that drive's current folder; Windows joins it without a
  // separator ("C:name"), and so do we.
  if (!folder.empty() && !is_separator(folder.back(), style) && !bare_drive) {
    joined.push_back(style == PathStyle::windows ? '\\' : '/');
  }
  joined.append(name);
  return joined;
}

}  // namespace korvidan::platform
