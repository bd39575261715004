#include "platform/platform.hpp"

namespace korvidan::platform {

std::string describe(const Error& error) {
  switch (error.kind) {
    case Error::Kind::invalid_utf8:
      return "stream did not contain valid UTF-8";
    case Error::Kind::write_zero:
      return "failed to write whole buffer";
    case Error::Kind::target_is_result_file:
      return "検索対象のファイルはこの実行の結果ファイルそのものです。結果ファイルを検索対象にはで"
             "きません";
    case Error::Kind::os:
      break;
  }
  return system_message(error.os_code) + " (os error " + std::to_string(error.os_code) + ")";
}

std::string describe_with_kind(const Error& error) {
  if (error.kind != Error::Kind::os) return describe(error);
  return "code " + std::to_string(error.os_code) + ", kind " +
         std::string(error_kind_name(error.os_code)) + ", " + describe(error);
}

void fatal_stop(std::string_view message, std::optional<Error> cause, const char* file, int line) {
  std::string report = "korvidan: 処理を中断しました (";
  report += file;
  report += ':';
  report += std::to_string(line);
  report += ")\n";
  report += message;
  if (cause) {
    report += ": ";
    report += describe(*cause);
  }
  report += '\n';
  write_standard_error(report);
  end_process(101);
}

}  // namespace korvidan::platform
