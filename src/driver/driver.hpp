// The search driver: the parameter checks, the result files and the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/platform.hpp"

namespace korvidan::driver {

struct RunConfig {
  std::int32_t break_count = 0;
  std::string condition_file;
  std::string target;
  std::string condition_text;
  bool indexed = false;
  bool current_folder_only = false;
};

// One of the fixed parameter messages.
struct ParameterError {
  const char* message;
};

// Decimal, an optional single sign, ASCII digits only, within the signed 32-bit range.
std::optional<std::int32_t> parse_break_count(std::string_view text);

// Checks the five parameters in order and loads the condition text. Too few parameters
// and a condition file that cannot be opened are fatal stops; nothing is created.
std::variant<RunConfig, ParameterError, platform::Stop> parse_parameters(
    const std::vector<std::optional<std::string>>& arguments);

// The folder the result files of a single-file run go to: the parent part of the target,
// or "." for a bare name and "C:." for a bare drive, so that results land next to the file.
std::string output_folder_for_file(std::string_view target, platform::PathStyle style);
// Output folder followed directly by the separator and the fixed name.
std::string result_path(std::string_view output_folder, const char* file_name,
                        platform::PathStyle style);

// The whole run: result files, search, final report. Returns the first failed file
// operation, or the fatal stop of a failed write or a folder that cannot be listed; the
// result files then hold what they would have held had every write gone straight through.
platform::Outcome run_search(const RunConfig& config);

// The run error report's description of an error.
std::string describe_run_error(const platform::Error& error);
// The report of a fatal stop: its place in the program, then its message and cause.
std::string stop_report(const platform::Stop& stop);

}  // namespace korvidan::driver
