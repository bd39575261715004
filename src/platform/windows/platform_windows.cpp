// Windows backend: the command line from GetCommandLineW, files through CreateFileW with
// full sharing, listings through FindFirstFileW, console text through WriteConsoleW.
#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include <bit>
#include <new>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

std::uint32_t last_error() { return static_cast<std::uint32_t>(::GetLastError()); }

std::wstring wide_path(std::string_view native) {
  const std::optional<std::u16string> units = wtf8_to_utf16(native);
  if (!units) return std::wstring();  // cannot come from our own texts; opens nothing
  std::wstring path(units->begin(), units->end());
  // Paths of MAX_PATH or more open only in the \\?\ form unless the system has long paths
  // enabled (the manifest declares us ready for them): make such a path absolute and
  // give it that form. Shorter paths stay exactly as typed.
  if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\")) return path;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string native_name(const wchar_t* name) {
  const std::u16string_view units(reinterpret_cast<const char16_t*>(name), std::wcslen(name));
  return utf16_to_wtf8(units);
}

// UTF-16 to UTF-8 by the system; nullopt when the text holds an unpaired surrogate.
std::optional<std::string> strict_utf8(const wchar_t* text) {
  const int length = static_cast<int>(std::wcslen(text));
  if (length == 0) return std::string();
  const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0,
                                          nullptr, nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, out.data(), bytes, nullptr,
                        nullptr);
  return out;
}

std::string lossy_from_wide(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

WriteAttempt write_some_to(HANDLE handle, std::string_view bytes) {
  // WriteFile takes a 32-bit length: larger writes go in pieces.
  const DWORD want = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
  DWORD written = 0;
  if (!::WriteFile(handle, bytes.data(), want, &written, nullptr)) {
    return {0, false, Error{Error::Kind::os, last_error()}};
  }
  return {written, false, std::nullopt};
}

void write_stream(DWORD which, std::string_view text) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    // A console window shows Japanese whatever its code page only through the wide API.
    const int length = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
    const wchar_t* rest = wide.data();
    DWORD left = static_cast<DWORD>(wide.size());
    while (left > 0) {
      DWORD written = 0;
      if (!::WriteConsoleW(handle, rest, left, &written, nullptr) || written == 0) return;
      rest += written;
      left -= written;
    }
    return;
  }
  (void)write_all_with(text,
                       [handle](std::string_view bytes) { return write_some_to(handle, bytes); });
}

HANDLE open_existing(std::string_view path, DWORD access, DWORD flags) {
  return ::CreateFileW(wide_path(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

}  // namespace

PathStyle native_path_style() { return PathStyle::windows; }

std::string display_text(std::string_view native_text) {
  const std::optional<std::u16string> units = wtf8_to_utf16(native_text);
  if (!units) return lossy_utf8(native_text);
  return lossy_from_wide(
      std::wstring_view(reinterpret_cast<const wchar_t*>(units->data()), units->size()));
}

std::string system_message(std::uint32_t os_code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, os_code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return "Unknown error";
  std::wstring_view text(buffer, length);
  // The system's texts end in CR LF (and sometimes a space); the report adds its own end.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.remove_suffix(1);
  }
  std::string message = lossy_from_wide(text);
  ::LocalFree(buffer);
  return message;
}

std::string_view error_kind_name(std::uint32_t os_code) {
  switch (os_code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "NotFound";
    case ERROR_ACCESS_DENIED:
      return "PermissionDenied";
    case ERROR_DIRECTORY:
      return "NotADirectory";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "ResourceBusy";
    case ERROR_INVALID_NAME:
      return "InvalidFilename";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "StorageFull";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "OutOfMemory";
    default:
      return "Other";
  }
}

void end_process(int status) { ::ExitProcess(static_cast<UINT>(status)); }

unsigned usable_processors() {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask)) return 1;
  const int count = std::popcount(static_cast<std::uint64_t>(process_mask));
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

std::vector<std::optional<std::string>> command_line_arguments(int, char**) {
  std::vector<std::optional<std::string>> arguments;
  int count = 0;
  wchar_t** split = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (split == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(strict_utf8(split[i]));
  ::LocalFree(split);
  return arguments;
}

void write_standard_output(std::string_view text) { write_stream(STD_OUTPUT_HANDLE, text); }
void write_standard_error(std::string_view text) { write_stream(STD_ERROR_HANDLE, text); }

namespace {

FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& details) {
  return {details.dwVolumeSerialNumber,
          (std::uint64_t{details.nFileIndexHigh} << 32) | details.nFileIndexLow};
}

}  // namespace

Result<FileIdentity> file_identity(Handle file) {
  BY_HANDLE_FILE_INFORMATION details{};
  if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &details))
    return Error{Error::Kind::os, last_error()};
  return identity_of(details);
}

PathInfo path_info(std::string_view path) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too; without FILE_FLAG_OPEN_REPARSE_POINT
  // links are followed, so a link answers for its target.
  const HANDLE handle = open_existing(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return {};
  PathInfo info;
  BY_HANDLE_FILE_INFORMATION details{};
  if (::GetFileInformationByHandle(handle, &details)) {
    info.identity = identity_of(details);
    if (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      info.kind = PathKind::folder;
    } else if (::GetFileType(handle) == FILE_TYPE_DISK) {
      info.kind = PathKind::regular_file;
    } else {
      info.kind = PathKind::other;  // a device such as NUL or CON
    }
  }
  ::CloseHandle(handle);
  return info;
}

Result<Handle> open_for_reading(std::string_view path) {
  const HANDLE handle = open_existing(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL);
  if (handle == INVALID_HANDLE_VALUE) return Error{Error::Kind::os, last_error()};
  return reinterpret_cast<Handle>(handle);
}

Result<Handle> create_result_file(std::string_view path) {
  const HANDLE handle = ::CreateFileW(wide_path(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Error{Error::Kind::os, last_error()};
  return reinterpret_cast<Handle>(handle);
}

void close_file(Handle handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

char* allocate_file_storage(std::size_t size) { return new (std::nothrow) char[size]; }
void release_file_storage(char* storage, std::size_t) { delete[] storage; }
bool grow_file_storage(char*&, std::size_t, std::size_t) { return false; }

Error out_of_memory() { return Error{Error::Kind::os, ERROR_NOT_ENOUGH_MEMORY}; }

Result<std::size_t> read_up_to(Handle handle, char* into, std::size_t size) {
  const HANDLE file = reinterpret_cast<HANDLE>(handle);
  std::size_t got = 0;
  while (got < size) {
    // ReadFile takes a 32-bit length.
    const std::size_t left = size - got;
    const DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!::ReadFile(file, into + got, want, &n, nullptr)) {
      const std::uint32_t code = last_error();
      if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) break;
      return Error{Error::Kind::os, code};
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

Status truncate_file(Handle handle, std::uint64_t size) {
  const HANDLE file = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file))
    return Error{Error::Kind::os, last_error()};
  return success();
}

Written write_all(Handle handle, std::string_view bytes) {
  const HANDLE file = reinterpret_cast<HANDLE>(handle);
  return write_all_with(bytes, [file](std::string_view rest) { return write_some_to(file, rest); });
}

struct FolderListing::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW pending{};
  bool has_pending = false;
  bool finished = false;
  ~State() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

FolderListing::FolderListing(std::unique_ptr<State> state) : state_(std::move(state)) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

Result<FolderListing> FolderListing::open(std::string_view folder) {
  auto state = std::make_unique<State>();
  const std::string pattern = join_entry_path(folder, "*", PathStyle::windows);
  state->find = ::FindFirstFileW(wide_path(pattern).c_str(), &state->pending);
  if (state->find == INVALID_HANDLE_VALUE) {
    const std::uint32_t code = last_error();
    if (code != ERROR_FILE_NOT_FOUND) return Error{Error::Kind::os, code};
    state->finished = true;  // no entry at all: an empty folder, not a failure
  } else {
    state->has_pending = true;
  }
  return FolderListing(std::move(state));
}

ListingEntry FolderListing::next() {
  State& state = *state_;
  for (;;) {
    if (state.finished) return {ListingEntry::Kind::end, {}, {}, false};
    if (!state.has_pending) {
      if (!::FindNextFileW(state.find, &state.pending)) {
        const std::uint32_t code = last_error();
        if (code == ERROR_NO_MORE_FILES) {
          state.finished = true;
          continue;
        }
        return {ListingEntry::Kind::error, {}, Error{Error::Kind::os, code}, false};
      }
    }
    state.has_pending = false;
    const std::wstring_view name(state.pending.cFileName);
    if (name == L"." || name == L"..") continue;
    // Folders and links (reparse points) are asked by path; everything else a folder can
    // list is a file on the disk.
    const bool plain_file = (state.pending.dwFileAttributes &
                             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    return {ListingEntry::Kind::name, native_name(state.pending.cFileName), {}, plain_file};
  }
}

}  // namespace korvidan::platform
