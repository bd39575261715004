// The condition file: loading it once per run, and its keyword groups.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"

namespace korvidan::conditions {

// Up to three leading U+FEFF removed; a fourth stays and begins the first keyword.
std::string strip_leading_feff(std::string_view text);

// The condition text of the file at `path`: its whole content, valid UTF-8, less up to
// three leading U+FEFF. A file that cannot be opened is a fatal stop; a failed read, or
// content that is not UTF-8, comes back as the error for the parameter error report.
platform::Result<std::string> load_condition_text(std::string_view path);

}  // namespace korvidan::conditions
