#include "platform/platform.hpp"

namespace korvidan::platform {

std::string describe(const Error& error) {
  switch (error.kind) {
    case Error::Kind::invalid_utf8:
      return "stream did not contain valid UTF-8";
    case Error::Kind::write_zero:
      return "failed to write whole buffer";
    case Error::Kind::target_is_result_file:
      return {};  // the driver's own message
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

}  // namespace korvidan::platform
