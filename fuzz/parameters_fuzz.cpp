// The parameter pieces on arbitrary text: the break count parser against a plain reading
// of its rule, and the path rules in both styles never step outside their input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "driver/driver.hpp"
#include "fuzz_support.hpp"
#include "platform/platform.hpp"

namespace {

std::optional<std::int32_t> plain_break_count(const std::string& text) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at == text.size()) return std::nullopt;
  long double value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  if (negative) value = -value;
  if (value < -2147483648.0L || value > 2147483647.0L) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace korvidan;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(driver::parse_break_count(text) == plain_break_count(text));
  for (const platform::PathStyle style :
       {platform::PathStyle::posix, platform::PathStyle::windows}) {
    const std::string_view parent = platform::parent_part(text, style);
    FUZZ_CHECK(std::string_view(text).starts_with(parent));
    const std::string_view name = platform::last_component(text, style);
    FUZZ_CHECK(name.empty() || std::string_view(text).find(name) != std::string_view::npos);
    if (const auto type = platform::file_type(text, style)) FUZZ_CHECK(name.ends_with(*type));
    FUZZ_CHECK(platform::join_entry_path(text, "a.txt", style).starts_with(text));
    const std::string folder = driver::output_folder_for_file(text, style);
    FUZZ_CHECK(!folder.empty());
  }
  return 0;
}
