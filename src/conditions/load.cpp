#include "conditions/conditions.hpp"

#include "conditions/messages.hpp"

namespace korvidan::conditions {

std::string strip_leading_feff(std::string_view text) {
  const std::string_view feff = messages::feff;
  for (int stripped = 0; stripped < 3 && text.starts_with(feff); ++stripped) {
    text.remove_prefix(feff.size());
  }
  return std::string(text);
}

std::variant<std::string, platform::Error, platform::Stop> load_condition_text(
    std::string_view path) {
  platform::Result<platform::Handle> opened = platform::open_for_reading(path);
  if (!opened.ok())
    return platform::stop_here(messages::cannot_open_condition_file, opened.error());
  platform::FileBuffer content;
  const platform::Status read = platform::read_whole_file(opened.value(), content);
  platform::close_file(opened.value());
  if (!read.ok()) return read.error();
  if (!text::is_valid_utf8(content.view()))
    return platform::Error{platform::Error::Kind::invalid_utf8};
  return strip_leading_feff(content.view());
}

}  // namespace korvidan::conditions
