// A result file in memory for tests of the results stage: it takes bytes up to a limit, as
// a file with a size limit does, and can record each write request of both files in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results/results.hpp"
#include "support/write_oracle.hpp"

namespace korvidan::testing {

struct MemoryTarget final : results::ResultTarget {
  explicit MemoryTarget(bool is_selection = false, std::uint64_t byte_limit = UINT64_MAX,
                        std::vector<WriteRequest>* request_log = nullptr)
      : selection(is_selection), limit(byte_limit), log(request_log) {}

  platform::Written write(std::string_view more) override {
    if (log != nullptr) log->push_back({selection, std::string(more)});
    const std::uint64_t room = limit > bytes.size() ? limit - bytes.size() : 0;
    const std::size_t taken = more.size() < room ? more.size() : static_cast<std::size_t>(room);
    bytes.append(more.substr(0, taken));
    if (taken < more.size()) return {taken, platform::Error{platform::Error::Kind::os, 27}};
    return {taken, std::nullopt};
  }
  platform::Status truncate(std::uint64_t size) override {
    bytes.resize(static_cast<std::size_t>(size));
    return platform::success();
  }

  bool selection;
  std::uint64_t limit;
  std::vector<WriteRequest>* log;
  std::string bytes;
};

}  // namespace korvidan::testing
