#include <windows.h>

#include "support/fixture.hpp"

namespace korvidan::testing {
namespace {

std::wstring wide(std::string_view utf8) {
  const std::optional<std::u16string> units = platform::wtf8_to_utf16(utf8);
  return units ? std::wstring(units->begin(), units->end()) : std::wstring();
}

// The program path as CMake wrote it is a Linux path; wine shows the Linux root as Z:.
std::wstring program_path() {
  std::string path = KORVIDAN_PROGRAM_PATH;
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return wide(path);
}

// Quoting by the rules CommandLineToArgvW undoes: backslashes double only before a quote.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

HANDLE capture_file(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProgramRun run_command_line(const std::filesystem::path& working_folder, std::wstring tail) {
  const std::filesystem::path out_path =
      working_folder.parent_path() / (working_folder.filename().wstring() + L".out");
  const std::filesystem::path err_path =
      working_folder.parent_path() / (working_folder.filename().wstring() + L".err");
  const std::wstring program = program_path();
  std::wstring command_line = quoted(program) + tail;
  ProgramRun run;
  DWORD start_error = 0;
  // Under wine, starting a process now and then fails before the program runs at all (no
  // process, or one that ends at once with -1 having written nothing; the program itself
  // never exits with -1): the harness's trouble, not the program's, so the start is tried
  // again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    HANDLE out = capture_file(out_path);
    HANDLE err = capture_file(err_path);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring folder = working_folder.wstring();
    const bool started = ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                                          TRUE, 0, nullptr, folder.c_str(), &startup, &process);
    if (started) {
      ::WaitForSingleObject(process.hProcess, INFINITE);
      DWORD code = 0;
      ::GetExitCodeProcess(process.hProcess, &code);
      run.exit_status = static_cast<int>(code);
      ::CloseHandle(process.hProcess);
      ::CloseHandle(process.hThread);
    } else {
      start_error = ::GetLastError();
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    const bool never_ran = !started || (run.exit_status == -1 && read_file(out_path).empty() &&
                                        read_file(err_path).empty());
    if (!never_ran) break;
    ::Sleep(200);
  }
  run.standard_output = read_file(out_path);
  run.standard_error = read_file(err_path);
  if (run.exit_status == -1 && start_error != 0)
    run.standard_error += "CreateProcessW failed: error " + std::to_string(start_error) + "\n";
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return run;
}

// An environment variable set for the length of a run where `wanted`, then put back.
class Override {
 public:
  Override(const wchar_t* name, bool wanted, const std::wstring& value) : name_(name) {
    if (!wanted) return;
    wanted_ = true;
    wchar_t before[64];
    const DWORD length = ::GetEnvironmentVariableW(name, before, 64);
    if (length > 0 && length < 64) before_ = before;
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~Override() {
    if (wanted_) ::SetEnvironmentVariableW(name_, before_ ? before_->c_str() : nullptr);
  }
  Override(const Override&) = delete;
  Override& operator=(const Override&) = delete;

 private:
  const wchar_t* name_;
  bool wanted_ = false;
  std::optional<std::wstring> before_;
};

}  // namespace

ProgramRun run_program(const std::filesystem::path& working_folder,
                       const std::vector<std::string>& arguments, const RunOptions& options) {
  std::wstring tail;
  for (const std::string& argument : arguments) tail += L" " + quoted(wide(argument));
  // The child inherits this process's environment as it stands when it is started; what
  // the whole suite runs with is put back after.
  const Override threads(L"KORVIDAN_THREADS", options.threads.has_value(),
                         options.threads ? std::to_wstring(*options.threads) : L"");
  const Override open_ahead(L"KORVIDAN_OPEN_AHEAD", options.open_ahead_from_the_start, L"always");
  ProgramRun run = run_command_line(working_folder, tail);
  return run;
}

ProgramRun run_program_raw(const std::filesystem::path& working_folder, const std::string&,
                           const std::u16string& windows_argument) {
  return run_command_line(working_folder,
                          L" " + std::wstring(windows_argument.begin(), windows_argument.end()));
}

bool can_run_unprivileged() { return false; }

std::uint64_t own_peak_memory_kib() { return 0; }

std::optional<ProgramRun> run_program_removing_on_open(const std::filesystem::path&,
                                                       const std::vector<std::string>&,
                                                       const std::filesystem::path&,
                                                       const std::vector<std::filesystem::path>&,
                                                       const RunOptions&) {
  return std::nullopt;
}

std::shared_ptr<void> hold_without_sharing(const std::filesystem::path& path) {
  HANDLE handle = ::CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::shared_ptr<void>(handle, [](void* held) { ::CloseHandle(held); });
}

bool make_fifo(const std::filesystem::path&) { return false; }

std::shared_ptr<void> mount_slow_file_system(const std::filesystem::path&,
                                             const std::filesystem::path&,
                                             const std::vector<std::string>&) {
  return nullptr;
}

}  // namespace korvidan::testing
