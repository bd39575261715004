// The one interface between korvidan and the operating system. Every operation means the
// same on POSIX and on Windows; a difference between the two backends is a bug.
//
// Path text handed to these operations is "native text": on POSIX the file name bytes as
// they are, on Windows UTF-8 extended to unpaired surrogates (WTF-8), so that every name a
// listing delivers can be opened again through its own text. Text that came from the
// command line is always valid UTF-8, which is native text on both systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace korvidan::platform {

// What failed, not how to say it: describe() makes the text.
struct Error {
  enum class Kind {
    os,                     // a system error number (errno, or a Win32 error code)
    invalid_utf8,           // content that is not valid UTF-8
    write_zero,             // a write that accepted no bytes
    target_is_result_file,  // a single-file run asked to search its own result file (the
                            // driver describes it)
  };
  Kind kind = Kind::os;
  std::uint32_t os_code = 0;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(error) {}
  bool ok() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};
using Status = Result<std::monostate>;
inline Status success() { return std::monostate{}; }

// "<system message> (os error N)" for system errors, fixed English texts for the rest.
std::string describe(const Error& error);
// The code, the kind and the description, for the listing failure report.
std::string describe_with_kind(const Error& error);
// The system's own message for an error number, without a trailing line end.
std::string system_message(std::uint32_t os_code);
// A portable name for the class of a system error ("NotFound", "PermissionDenied", ...).
std::string_view error_kind_name(std::uint32_t os_code);

// A fatal stop, decided where it arose and carried up as a value to the entry procedure,
// which alone reports it and ends the process: its fixed message, the error that caused it
// (described with its code and kind where `cause_with_kind`), and the place in the program.
struct Stop {
  std::string_view message;
  std::optional<Error> cause;
  bool cause_with_kind = false;
  const char* file = "";
  int line = 0;
};
// A stop at the caller's place. (The place comes from the builtins rather than
// std::source_location, which clang 14 cannot build with this standard library.)
inline Stop stop_here(std::string_view message, std::optional<Error> cause = {},
                      bool cause_with_kind = false, const char* file = __builtin_FILE(),
                      int line = __builtin_LINE()) {
  return Stop{message, cause, cause_with_kind, file, line};
}

// What a step of the run comes to: success, a run error, or a fatal stop.
class [[nodiscard]] Outcome {
 public:
  Outcome() = default;
  Outcome(Error error) : state_(error) {}
  Outcome(Stop stop) : state_(stop) {}
  bool ok() const { return state_.index() == 0; }
  const Error* error() const { return std::get_if<Error>(&state_); }
  const Stop* stop() const { return std::get_if<Stop>(&state_); }

 private:
  std::variant<std::monostate, Error, Stop> state_;
};

[[noreturn]] void end_process(int status);

// How many processors this process may run on (its affinity), at least 1.
unsigned usable_processors();

// ---- command line

// The arguments after the program's name, as UTF-8. An argument that is not valid Unicode
// (an unpaired surrogate on Windows, bytes that are not UTF-8 on POSIX) is nullopt.
std::vector<std::optional<std::string>> command_line_arguments(int argc, char** argv);

// ---- console

// Standard output and standard error: UTF-8 bytes unchanged when redirected, shown through
// the wide-character interface on a Windows console window.
void write_standard_output(std::string_view text);
void write_standard_error(std::string_view text);

// ---- path text (portable rules, the style chosen explicitly so both are testable anywhere)

enum class PathStyle { posix, windows };
PathStyle native_path_style();  // defined by the backend
bool is_separator(char c, PathStyle style);
std::string_view last_component(std::string_view path, PathStyle style);
// The part of the last component after its last full stop; nullopt when the component has
// no full stop, or its only full stop is its first character.
std::optional<std::string_view> file_type(std::string_view path, PathStyle style);
// The path without its last component and the separators before it; a root keeps its
// separator ("C:\a.txt" gives "C:\", "/a.txt" gives "/"), a bare name gives "".
std::string_view parent_part(std::string_view path, PathStyle style);
// folder + separator + name, the separator left out when folder already ends in one.
std::string join_entry_path(std::string_view folder, std::string_view name, PathStyle style);
// Native text made printable: each invalid sequence becomes U+FFFD.
std::string display_text(std::string_view native_text);  // defined by the backend

// ---- UTF-8 and WTF-8 (names and console text)

// Length of the valid sequence starting at `at`, or 0 when it is not valid UTF-8.
// `allow_surrogates` accepts ED A0..BF (encoded surrogates), as WTF-8 does.
std::size_t utf8_sequence_length(const unsigned char* bytes, std::size_t at, std::size_t size,
                                 bool allow_surrogates);
// Replaces each maximal invalid subpart with U+FFFD (the usual "lossy" decoding).
std::string lossy_utf8(std::string_view bytes);
// WTF-8 <-> UTF-16 code units; decode returns nullopt for bytes that are not WTF-8.
std::optional<std::u16string> wtf8_to_utf16(std::string_view bytes);
std::string utf16_to_wtf8(std::u16string_view units);

// ---- attributes by path

struct FileIdentity {
  std::uint64_t volume = 0;  // device, or volume serial number
  std::uint64_t index = 0;   // inode, or file index
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
enum class PathKind { missing, folder, regular_file, other };
struct PathInfo {
  PathKind kind = PathKind::missing;
  FileIdentity identity;
};
// Follows links. A path whose attributes cannot be read counts as missing.
PathInfo path_info(std::string_view path);

// ---- files

using Handle = std::intptr_t;

// Reading with full sharing (read, write, delete on Windows).
Result<Handle> open_for_reading(std::string_view path);
// Create or truncate, write access, full sharing.
Result<Handle> create_result_file(std::string_view path);
void close_file(Handle handle);
// The identity of an open file: the same as path_info gives for its path.
Result<FileIdentity> file_identity(Handle file);

// Storage for the buffers of file bytes (a long passage's may grow to gigabytes), from the
// system directly (backend-defined): large buffers are asked for in huge pages where the
// system has them, which makes the first touch of a multi-GB buffer far cheaper. Returns
// nullptr when the memory cannot be had.
char* allocate_file_storage(std::size_t size);
void release_file_storage(char* storage, std::size_t size);
// Grows `storage` to `new_capacity` bytes, its content kept, without a second buffer
// beside it (the system moves its pages): false where it cannot (`storage` unchanged), and
// the caller copies instead.
bool grow_file_storage(char*& storage, std::size_t capacity, std::size_t new_capacity);
// The system's own error for memory that cannot be had.
Error out_of_memory();

// Growable byte buffer whose storage is kept across refills and never zero-filled: filled
// at its end by reads, emptied from its front as its bytes are used.
class FileBuffer {
 public:
  FileBuffer() = default;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;
  ~FileBuffer();
  std::string_view view() const { return {data_, size_}; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void clear() { size_ = 0; }
  // Room for at least `capacity` bytes, keeping the content; false when the memory cannot
  // be had (the buffer is then unchanged).
  bool reserve(std::size_t capacity);
  // The room after the content, to read into; `commit` adds what was read there.
  char* spare() { return data_ + size_; }
  std::size_t spare_size() const { return capacity_ - size_; }
  void commit(std::size_t added) { size_ += added; }
  // Drops the first `count` bytes, moving the rest to the front.
  void drop_front(std::size_t count);

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Replaces the buffer's content with the whole file, up to its end (the condition file; text
// files are read in blocks).
Status read_whole_file(Handle handle, FileBuffer& buffer);
// Reads on from the current position until `size` bytes or the end of the file; returns
// how many it got.
Result<std::size_t> read_up_to(Handle handle, char* into, std::size_t size);

// One attempt to write: how many bytes the system took, or that it was interrupted, or
// the error. Backends provide it for real files; tests provide fakes.
struct WriteAttempt {
  std::size_t accepted = 0;
  bool interrupted = false;
  std::optional<Error> error;
};
using WriteSome = std::function<WriteAttempt(std::string_view bytes)>;
// How many bytes the system took, and the error that stopped it taking the rest.
struct Written {
  std::size_t bytes = 0;
  std::optional<Error> error;
  bool ok() const { return !error; }
};
// Repeats interrupted and partial writes until every byte is taken; a write that takes no
// bytes fails with Kind::write_zero.
Written write_all_with(std::string_view bytes, const WriteSome& write_some);
Written write_all(Handle handle, std::string_view bytes);
// Cuts the file to `size` bytes and places the next write at its end.
Status truncate_file(Handle handle, std::uint64_t size);

// ---- folder listing

struct ListingEntry {
  enum class Kind { name, error, end };
  Kind kind = Kind::end;
  std::string name;  // native text; "." and ".." are never delivered
  Error error;
  // The listing itself says that the entry is a regular file and not a link, so that its
  // kind needs no question to the file system; false says nothing.
  bool plain_file = false;
};

class FolderListing {
 public:
  FolderListing(FolderListing&&) noexcept;
  FolderListing& operator=(FolderListing&&) noexcept;
  ~FolderListing();
  // An empty folder opens fine and delivers `end` at once.
  static Result<FolderListing> open(std::string_view folder);
  ListingEntry next();

  struct State;

 private:
  explicit FolderListing(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace korvidan::platform
