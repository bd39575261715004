#include "conditions/conditions.hpp"
#include "driver/driver.hpp"
#include "driver/messages.hpp"

namespace korvidan::driver {
namespace {

using platform::PathKind;

bool has_file_type(std::string_view path, std::string_view lower, std::string_view upper) {
  const std::optional<std::string_view> type =
      platform::file_type(path, platform::native_path_style());
  return type && (*type == lower || *type == upper);
}

// The whole argument lower-cased must be exactly `letter`. No character but the ASCII
// capital lower-cases to a lone ASCII i, s, c or u (U+0130 gives i and a combining dot),
// so comparing against the two ASCII forms is that test.
bool is_letter(const std::optional<std::string>& argument, char letter) {
  if (!argument || argument->size() != 1) return false;
  const char c = (*argument)[0];
  return c == letter || c == letter - ('a' - 'A');
}

}  // namespace

std::optional<std::int32_t> parse_break_count(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{2147483648}) return std::nullopt;  // leading zeros stay small
  }
  if (negative) value = -value;
  if (value > std::int64_t{2147483647}) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::variant<RunConfig, ParameterError, platform::Stop> parse_parameters(
    const std::vector<std::optional<std::string>>& arguments) {
  if (arguments.size() < 5) return platform::stop_here(messages::usage);
  RunConfig config;

  const std::optional<std::int32_t> break_count =
      arguments[0] ? parse_break_count(*arguments[0]) : std::nullopt;
  if (!break_count) return ParameterError{messages::break_count_invalid};
  config.break_count = *break_count;

  if (!arguments[1]) return ParameterError{messages::condition_file_missing};
  config.condition_file = *arguments[1];
  const PathKind condition_kind = platform::path_info(config.condition_file).kind;
  if (condition_kind == PathKind::folder) return ParameterError{messages::condition_file_is_folder};
  if (has_file_type(config.condition_file, "jkn", "JKN")) {
    if (condition_kind == PathKind::missing)
      return ParameterError{messages::condition_file_missing};
  } else if (condition_kind != PathKind::missing) {
    return ParameterError{messages::condition_file_wrong_type};
  }

  if (!arguments[2]) return ParameterError{messages::target_missing};
  config.target = *arguments[2];
  const PathKind target_kind = platform::path_info(config.target).kind;
  if (target_kind == PathKind::missing) return ParameterError{messages::target_missing};
  if (target_kind != PathKind::folder && !has_file_type(config.target, "txt", "TXT")) {
    return ParameterError{messages::target_wrong_type};
  }

  if (is_letter(arguments[3], 'i')) {
    config.indexed = true;
  } else if (!is_letter(arguments[3], 's')) {
    return ParameterError{messages::form_invalid};
  }
  if (is_letter(arguments[4], 'c')) {
    config.current_folder_only = true;
  } else if (!is_letter(arguments[4], 'u')) {
    return ParameterError{messages::scope_invalid};
  }

  auto loaded = conditions::load_condition_text(config.condition_file);
  if (auto* stop = std::get_if<platform::Stop>(&loaded)) return *stop;
  if (std::holds_alternative<platform::Error>(loaded)) {
    return ParameterError{messages::condition_file_unreadable};
  }
  config.condition_text = std::move(std::get<std::string>(loaded));
  return config;
}

}  // namespace korvidan::driver
