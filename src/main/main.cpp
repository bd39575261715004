// korvidan: full-text search that cuts text files into passages and sorts each passage
// into a selection file or a rest file by a condition file of keyword groups. The entry
// procedure alone reports how a run ended and ends the process.
#include "driver/driver.hpp"
#include "driver/messages.hpp"
#include "platform/platform.hpp"

namespace {

using namespace korvidan;

int stopped(const platform::Stop& stop) {
  platform::write_standard_error(driver::stop_report(stop));
  return 101;
}

int run(int argc, char** argv) {
  auto parsed = driver::parse_parameters(platform::command_line_arguments(argc, argv));
  if (const auto* stop = std::get_if<platform::Stop>(&parsed)) return stopped(*stop);
  if (const auto* failure = std::get_if<driver::ParameterError>(&parsed)) {
    platform::write_standard_error(std::string(driver::messages::parameter_error_prefix) +
                                   failure->message + "\n");
    return 1;
  }
  const platform::Outcome outcome = driver::run_search(std::get<driver::RunConfig>(parsed));
  if (const platform::Stop* stop = outcome.stop()) return stopped(*stop);
  if (const platform::Error* error = outcome.error()) {
    platform::write_standard_error(std::string(driver::messages::run_error_prefix) +
                                   driver::describe_run_error(*error) + "\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { platform::end_process(run(argc, argv)); }
