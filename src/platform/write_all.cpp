#include "platform/platform.hpp"

namespace korvidan::platform {

Written write_all_with(std::string_view bytes, const WriteSome& write_some) {
  Written written;
  while (!bytes.empty()) {
    const WriteAttempt attempt = write_some(bytes);
    if (attempt.interrupted) continue;
    if (attempt.error) {
      written.error = attempt.error;
      break;
    }
    if (attempt.accepted == 0) {
      written.error = Error{Error::Kind::write_zero};
      break;
    }
    const std::size_t taken = attempt.accepted < bytes.size() ? attempt.accepted : bytes.size();
    written.bytes += taken;
    bytes.remove_prefix(taken);
  }
  return written;
}

}  // namespace korvidan::platform
