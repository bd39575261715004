#include "platform/platform.hpp"

namespace korvidan::platform {

Status write_all_with(std::string_view bytes, const WriteSome& write_some) {
  while (!bytes.empty()) {
    const WriteAttempt attempt = write_some(bytes);
    if (attempt.interrupted) continue;
    if (attempt.error) return *attempt.error;
    if (attempt.accepted == 0) return Error{Error::Kind::write_zero};
    bytes.remove_prefix(attempt.accepted < bytes.size() ? attempt.accepted : bytes.size());
  }
  return success();
}

}  // namespace korvidan::platform
