// POSIX backend: argv bytes, open/read/write/close, stat, opendir/readdir, strerror.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.hpp"

namespace korvidan::platform {
namespace {

std::uint32_t last_error() { return static_cast<std::uint32_t>(errno); }

// Console output is best effort: there is nobody left to tell when stderr fails.
void write_stream(int fd, std::string_view text) {
  (void)write_all_with(text, [fd](std::string_view bytes) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) return WriteAttempt{0, true, std::nullopt};
      return WriteAttempt{0, false, Error{Error::Kind::os, last_error()}};
    }
    return WriteAttempt{static_cast<std::size_t>(written), false, std::nullopt};
  });
}

std::string path_string(std::string_view path) { return std::string(path); }

}  // namespace

PathStyle native_path_style() { return PathStyle::posix; }

std::string display_text(std::string_view native_text) { return lossy_utf8(native_text); }

std::string system_message(std::uint32_t os_code) {
  return std::strerror(static_cast<int>(os_code));
}

std::string_view error_kind_name(std::uint32_t os_code) {
  switch (static_cast<int>(os_code)) {
    case ENOENT:
      return "NotFound";
    case EACCES:
    case EPERM:
      return "PermissionDenied";
    case ENOTDIR:
      return "NotADirectory";
    case EISDIR:
      return "IsADirectory";
    case ELOOP:
      return "FilesystemLoop";
    case ENAMETOOLONG:
      return "InvalidFilename";
    case ENOSPC:
      return "StorageFull";
    case EFBIG:
      return "FileTooLarge";
    case EINTR:
      return "Interrupted";
    case ENOMEM:
      return "OutOfMemory";
    case EMFILE:
    case ENFILE:
      return "Uncategorized";
    default:
      return "Other";
  }
}

void end_process(int status) { std::_Exit(status); }

unsigned usable_processors() {
#if defined(__linux__)
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
  }
#endif
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::vector<std::optional<std::string>> command_line_arguments(int argc, char** argv) {
  std::vector<std::optional<std::string>> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (lossy_utf8(argument) == argument) {
      arguments.emplace_back(std::move(argument));
    } else {
      arguments.emplace_back(std::nullopt);
    }
  }
  return arguments;
}

void write_standard_output(std::string_view text) { write_stream(STDOUT_FILENO, text); }
void write_standard_error(std::string_view text) { write_stream(STDERR_FILENO, text); }

PathInfo path_info(std::string_view path) {
  struct stat status {};
  if (::stat(path_string(path).c_str(), &status) != 0) return {};
  PathInfo info;
  info.identity = {static_cast<std::uint64_t>(status.st_dev),
                   static_cast<std::uint64_t>(status.st_ino)};
  if (S_ISDIR(status.st_mode)) {
    info.kind = PathKind::folder;
  } else if (S_ISREG(status.st_mode)) {
    info.kind = PathKind::regular_file;
  } else {
    info.kind = PathKind::other;
  }
  return info;
}

Result<Handle> open_for_reading(std::string_view path) {
  const int fd = ::open(path_string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{Error::Kind::os, last_error()};
  return Handle{fd};
}

Result<Handle> create_result_file(std::string_view path) {
  const int fd = ::open(path_string(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Error{Error::Kind::os, last_error()};
  return Handle{fd};
}

void close_file(Handle handle) { ::close(static_cast<int>(handle)); }

Result<FileIdentity> file_identity(Handle file) {
  struct stat status {};
  if (::fstat(static_cast<int>(file), &status) != 0) return Error{Error::Kind::os, last_error()};
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

char* allocate_file_storage(std::size_t size) {
  if (size < (std::size_t{2} << 20)) return new (std::nothrow) char[size];
  void* storage = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (storage == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  // Measured on a 256 MB buffer filled by reads: the page faults took more time than all
  // the rest.
  ::madvise(storage, size, MADV_HUGEPAGE);
#endif
  return static_cast<char*>(storage);
}

bool grow_file_storage(char*& storage, std::size_t capacity, std::size_t new_capacity) {
#if defined(__linux__)
  // The large buffers are mappings of their own; a passage of 200 MB grown by copying
  // held 400 MB at its last doubling.
  if (storage == nullptr || capacity < (std::size_t{2} << 20)) return false;
  void* grown = ::mremap(storage, capacity, new_capacity, MREMAP_MAYMOVE);
  if (grown == MAP_FAILED) return false;
  storage = static_cast<char*>(grown);
  return true;
#else
  (void)storage;
  (void)capacity;
  (void)new_capacity;
  return false;
#endif
}

void release_file_storage(char* storage, std::size_t size) {
  if (size < (std::size_t{2} << 20)) {
    delete[] storage;
  } else {
    ::munmap(storage, size);
  }
}

Error out_of_memory() { return Error{Error::Kind::os, ENOMEM}; }

Result<std::size_t> read_up_to(Handle handle, char* into, std::size_t size) {
  const int fd = static_cast<int>(handle);
  std::size_t got = 0;
  while (got < size) {
    const std::size_t want =
        size - got < (std::size_t{1} << 30) ? size - got : std::size_t{1} << 30;
    const ssize_t n = ::read(fd, into + got, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error{Error::Kind::os, last_error()};
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

Status truncate_file(Handle handle, std::uint64_t size) {
  const int fd = static_cast<int>(handle);
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      ::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0) {
    return Error{Error::Kind::os, last_error()};
  }
  return success();
}

Written write_all(Handle handle, std::string_view bytes) {
  const int fd = static_cast<int>(handle);
  return write_all_with(bytes, [fd](std::string_view rest) {
    const ssize_t written = ::write(fd, rest.data(), rest.size());
    if (written < 0) {
      if (errno == EINTR) return WriteAttempt{0, true, std::nullopt};
      return WriteAttempt{0, false, Error{Error::Kind::os, last_error()}};
    }
    return WriteAttempt{static_cast<std::size_t>(written), false, std::nullopt};
  });
}

struct FolderListing::State {
  DIR* directory = nullptr;
  ~State() {
    if (directory != nullptr) ::closedir(directory);
  }
};

FolderListing::FolderListing(std::unique_ptr<State> state) : state_(std::move(state)) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

Result<FolderListing> FolderListing::open(std::string_view folder) {
  DIR* directory = ::opendir(path_string(folder).c_str());
  if (directory == nullptr) return Error{Error::Kind::os, last_error()};
  auto state = std::make_unique<State>();
  state->directory = directory;
  return FolderListing(std::move(state));
}

ListingEntry FolderListing::next() {
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(state_->directory);
    if (entry == nullptr) {
      if (errno != 0) {
        return {ListingEntry::Kind::error, {}, Error{Error::Kind::os, last_error()}, false};
      }
      return {ListingEntry::Kind::end, {}, {}, false};
    }
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
#ifdef DT_REG
    const bool plain_file = entry->d_type == DT_REG;
#else
    const bool plain_file = false;
#endif
    return {ListingEntry::Kind::name, std::string(name), {}, plain_file};
  }
}

}  // namespace korvidan::platform
