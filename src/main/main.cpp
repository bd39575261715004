// korvidan: full-text search that cuts text files into passages and sorts each passage
// into a selection file or a rest file by a condition file of keyword groups.
#include "driver/driver.hpp"
#include "driver/messages.hpp"
#include "platform/platform.hpp"

namespace {

using namespace korvidan;

int run(int argc, char** argv) {
  auto parsed = driver::parse_parameters(platform::command_line_arguments(argc, argv));
  if (const auto* failure = std::get_if<driver::ParameterError>(&parsed)) {
    platform::write_standard_error(std::string(driver::messages::parameter_error_prefix) +
                                   failure->message + "\n");
    return 1;
  }
  const platform::Status searched = driver::run_search(std::get<driver::RunConfig>(parsed));
  if (!searched.ok()) {
    platform::write_standard_error(std::string(driver::messages::run_error_prefix) +
                                   platform::describe(searched.error()) + "\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { platform::end_process(run(argc, argv)); }
