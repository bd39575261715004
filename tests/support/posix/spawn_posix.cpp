#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <thread>

#include "support/fixture.hpp"

namespace korvidan::testing {
namespace {

// Output is collected through pipes, not files: a file size limit of the test would
// otherwise cut the program's own report short.
ProgramRun run_argv(const std::filesystem::path& working_folder,
                    const std::vector<std::string>& arguments, const RunOptions& options) {
  std::vector<std::string> command;
  if (options.unprivileged) {
    command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  command.push_back(KORVIDAN_PROGRAM_PATH);
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& part : command) argv.push_back(part.data());
  argv.push_back(nullptr);
  // Made before the fork: the child of a process with threads may not allocate.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    if (!(options.threads && text.starts_with("KORVIDAN_THREADS=")) &&
        !(options.open_ahead_from_the_start && text.starts_with("KORVIDAN_OPEN_AHEAD="))) {
      variables.emplace_back(text);
    }
  }
  if (options.threads) variables.push_back("KORVIDAN_THREADS=" + std::to_string(*options.threads));
  if (options.open_ahead_from_the_start) variables.emplace_back("KORVIDAN_OPEN_AHEAD=always");
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(working_folder.c_str()) != 0) ::_exit(126);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    const int null_input = ::open("/dev/null", O_RDONLY);
    ::dup2(null_input, STDIN_FILENO);
#if defined(__linux__)
    if (options.one_processor) {
      cpu_set_t first;
      CPU_ZERO(&first);
      CPU_SET(0, &first);
      if (::sched_setaffinity(0, sizeof first, &first) != 0) ::_exit(125);
    }
#endif
    if (options.file_size_limit) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*options.file_size_limit, *options.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ProgramRun run;
  pollfd streams[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* targets[2] = {&run.standard_output, &run.standard_error};
  int open_streams = 2;
  const auto kill_at =
      std::chrono::steady_clock::now() + options.kill_after.value_or(std::chrono::microseconds(0));
  bool killed = false;
  while (open_streams > 0) {
    int wait_ms = -1;
    if (options.kill_after && !killed) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          kill_at - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        ::kill(child, SIGKILL);
        killed = true;
      } else {
        wait_ms = static_cast<int>(left.count());
      }
    }
    if (::poll(streams, 2, wait_ms) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(streams[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        targets[i]->append(chunk, static_cast<std::size_t>(got));
      } else {
        ::close(streams[i].fd);
        streams[i].fd = -1;
        --open_streams;
      }
    }
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  run.peak_memory_kib = static_cast<std::uint64_t>(usage.ru_maxrss);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

ProgramRun run_program(const std::filesystem::path& working_folder,
                       const std::vector<std::string>& arguments, const RunOptions& options) {
  return run_argv(working_folder, arguments, options);
}

ProgramRun run_program_raw(const std::filesystem::path& working_folder,
                           const std::string& posix_argument, const std::u16string&) {
  // The raw argument stands in the positions the caller writes as "\x01"-separated parts.
  std::vector<std::string> arguments;
  std::string part;
  for (const char c : posix_argument) {
    if (c == '\x01') {
      arguments.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  arguments.push_back(part);
  return run_argv(working_folder, arguments, {});
}

std::optional<ProgramRun> run_program_removing_on_open(
    const std::filesystem::path& working_folder, const std::vector<std::string>& arguments,
    const std::filesystem::path& trigger, const std::vector<std::filesystem::path>& doomed,
    const RunOptions& options) {
  const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0 || ::inotify_add_watch(watch, trigger.c_str(), IN_OPEN | IN_CLOSE_NOWRITE) < 0) {
    return std::nullopt;
  }
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC) != 0) return std::nullopt;
  // Whether the program closed the trigger before the removal was done: it may then have
  // gone on to the doomed entries first (a loaded machine can hold the remover back).
  bool closed_first = false;
  std::thread remover([&] {
    bool opened = false;
    const auto read_events = [&] {
      alignas(inotify_event) char events[4096];
      for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < got;) {
          const auto* event = reinterpret_cast<const inotify_event*>(events + at);
          opened = opened || (event->mask & IN_OPEN) != 0;
          closed_first = closed_first || (event->mask & IN_CLOSE_NOWRITE) != 0;
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
    };
    pollfd waits[2] = {{watch, POLLIN, 0}, {stop[0], POLLIN, 0}};
    while (!opened && ::poll(waits, 2, -1) > 0 && (waits[1].revents & POLLIN) == 0) read_events();
    if (!opened) return;
    std::error_code ignored;
    for (const auto& path : doomed) std::filesystem::remove_all(path, ignored);
    read_events();
  });
  ProgramRun run = run_argv(working_folder, arguments, options);
  (void)!::write(stop[1], "x", 1);
  remover.join();
  ::close(stop[0]);
  ::close(stop[1]);
  ::close(watch);
  if (closed_first) return std::nullopt;
  return run;
}

std::shared_ptr<void> hold_without_sharing(const std::filesystem::path&) { return nullptr; }

bool make_fifo(const std::filesystem::path& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

std::shared_ptr<void> mount_slow_file_system(const std::filesystem::path& source,
                                             const std::filesystem::path& mount_point,
                                             const std::vector<std::string>& options) {
  const std::string program = KORVIDAN_SLOWFS_PATH;
  struct stat before {};
  if (program.empty() || ::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0 ||
      ::stat(mount_point.c_str(), &before) != 0) {
    return nullptr;
  }
  std::vector<std::string> command{program};
  command.insert(command.end(), options.begin(), options.end());
  command.insert(command.end(), {source.string(), mount_point.string(), "-f"});
  std::vector<char*> argv;
  for (std::string& part : command) argv.push_back(part.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (child < 0) return nullptr;
  // Copies of the path and device: the unmount outlives the caller's arguments.
  const auto mounted = [point = mount_point, device = before.st_dev] {
    struct stat now {};
    return ::stat(point.c_str(), &now) == 0 && now.st_dev != device;
  };
  // It serves the mount until SIGTERM, and then unmounts it.
  const auto unmount = [child, mount_point, mounted] {
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    if (mounted()) ::umount2(mount_point.c_str(), MNT_DETACH);
  };
  for (int tries = 0; tries < 1000 && !mounted(); ++tries) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!mounted()) {
    unmount();
    return nullptr;
  }
  static int mount_held = 0;  // what the result points at: it only unmounts
  return std::shared_ptr<void>(&mount_held, [unmount](void*) { unmount(); });
}

bool can_run_unprivileged() { return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0; }

std::uint64_t own_peak_memory_kib() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_maxrss);
}

}  // namespace korvidan::testing
