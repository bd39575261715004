// Starting the built program as a child process and collecting what it did.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvidan::testing {

struct ProgramRun {
  int exit_status = -1;
  std::string standard_output;
  std::string standard_error;
  // POSIX: the program's peak resident memory, in KiB (0 where unknown).
  std::uint64_t peak_memory_kib = 0;
};

struct RunOptions {
  // POSIX: run as the unprivileged user 65534 (needs root), so permission faults are real.
  bool unprivileged = false;
  // POSIX: a file size limit in bytes, with SIGXFSZ ignored, so writes past it fail.
  std::optional<unsigned long long> file_size_limit;
  // Linux: the program may run on the first processor only, so that it reads on the same
  // thread it searches on.
  bool one_processor = false;
  // POSIX: kill the program (SIGKILL) this long after it started, if it still runs.
  std::optional<std::chrono::microseconds> kill_after;
  // The threads the program searches with (KORVIDAN_THREADS), whatever the processors.
  std::optional<unsigned> threads;
  // Files opened ahead from the first on (KORVIDAN_OPEN_AHEAD=always), not only once
  // opens are seen to wait.
  bool open_ahead_from_the_start = false;
};

// Runs the program under test in `working_folder` with UTF-8 arguments, quoted for the
// platform's command line where it has one.
ProgramRun run_program(const std::filesystem::path& working_folder,
                       const std::vector<std::string>& arguments, const RunOptions& options = {});

// Runs it with the arguments as raw bytes (POSIX) or a raw UTF-16 command line tail after the
// program name (Windows), for arguments that are not valid Unicode.
ProgramRun run_program_raw(const std::filesystem::path& working_folder,
                           const std::string& posix_argument,
                           const std::u16string& windows_argument);

// Linux: runs the program and, the moment it first opens `trigger`, removes every path in
// `doomed` (files or whole folders), so that entries vanish after the listing has
// delivered them and before the program reaches them. nullopt where it cannot be staged,
// or where the program closed `trigger` before the removal was done (a race lost: try
// again).
std::optional<ProgramRun> run_program_removing_on_open(
    const std::filesystem::path& working_folder, const std::vector<std::string>& arguments,
    const std::filesystem::path& trigger, const std::vector<std::filesystem::path>& doomed,
    const RunOptions& options = {});

// Linux, as root, where the slow file system was built: mounts `source` at `mount_point`
// through it, with its options (`--latency-us N`, `--vanish TEXT`, `--fail-open TEXT`,
// `--fail-read TEXT`),
// until the result is destroyed. nullptr where it cannot be had.
std::shared_ptr<void> mount_slow_file_system(const std::filesystem::path& source,
                                             const std::filesystem::path& mount_point,
                                             const std::vector<std::string>& options);

// POSIX: makes a FIFO at `path`; false where there are none.
bool make_fifo(const std::filesystem::path& path);

// Whether this process may run the program as another user (root on POSIX).
bool can_run_unprivileged();

// POSIX: this test process's own peak resident memory so far, in KiB (0 where unknown). A
// child's peak as the system counts it includes what its parent held when it started it.
std::uint64_t own_peak_memory_kib();

// Windows: opens the file with no sharing at all and keeps it so until the result is
// destroyed, so that the program's own open fails (sharing violation). POSIX has no such
// mandatory lock: nullptr.
std::shared_ptr<void> hold_without_sharing(const std::filesystem::path& path);

}  // namespace korvidan::testing
