#include "scan/scan.hpp"

#include <algorithm>

#include "scan/messages.hpp"

namespace korvidan::scan {
namespace {

using platform::PathKind;

// A listing that only ever delivers error entries would otherwise be asked forever.
constexpr int max_consecutive_error_entries = 1000;

[[noreturn]] void listing_failed(ScanContext& context, const platform::Error& error) {
  if (context.flush_results) context.flush_results();
  std::string message = messages::cannot_list_folder;
  message += ": ";
  message += platform::describe_with_kind(error);
  platform::fatal_stop(message);
}

platform::FolderListing open_listing(std::string_view folder, ScanContext& context) {
  platform::Result<platform::FolderListing> opened = platform::FolderListing::open(folder);
  if (!opened.ok()) listing_failed(context, opened.error());
  return std::move(opened.value());
}

platform::Status search_plain_file(std::string_view entry_path, ScanContext& context);

struct WalkLevel {
  platform::FolderListing listing;
  std::string path;
  platform::FileIdentity identity;
};

// One walk for all three scans; an explicit stack, so that no tree depth can exhaust the
// call stack. A folder already on the walk path (reached again through a link) is not
// entered: that is a cycle, which would otherwise nest without end.
platform::Status walk(std::string_view folder, bool enter_sub_folders, ScanContext& context) {
  const platform::PathStyle style = platform::native_path_style();
  std::vector<WalkLevel> levels;
  levels.push_back(
      {open_listing(folder, context), std::string(folder), platform::path_info(folder).identity});
  int consecutive_errors = 0;
  while (!levels.empty()) {
    platform::ListingEntry entry = levels.back().listing.next();
    if (entry.kind == platform::ListingEntry::Kind::end) {
      levels.pop_back();
      continue;
    }
    if (entry.kind == platform::ListingEntry::Kind::error) {
      if (++consecutive_errors >= max_consecutive_error_entries)
        listing_failed(context, entry.error);
      continue;
    }
    consecutive_errors = 0;
    std::string entry_path = platform::join_entry_path(levels.back().path, entry.name, style);
    if (entry.plain_file) {
      if (!passes_name_tests(entry_path, style)) continue;
      const platform::Status searched = search_plain_file(entry_path, context);
      if (!searched.ok()) return searched;
      continue;
    }
    const platform::PathInfo info = platform::path_info(entry_path);
    if (info.kind == PathKind::regular_file) {
      if (!is_search_target(entry_path, info, context)) continue;
      const platform::Status searched = search_text_file(entry_path, context);
      if (!searched.ok()) return searched;
    } else if (info.kind == PathKind::folder && enter_sub_folders) {
      const bool on_walk_path =
          std::any_of(levels.begin(), levels.end(),
                      [&info](const WalkLevel& level) { return level.identity == info.identity; });
      if (on_walk_path) continue;
      platform::FolderListing listing = open_listing(entry_path, context);
      levels.push_back({std::move(listing), std::move(entry_path), info.identity});
    }
  }
  return platform::success();
}

}  // namespace

std::array<std::string, 5> exclusion_marks(platform::PathStyle style) {
  const char separator = style == platform::PathStyle::windows ? '\\' : '/';
  std::array<std::string, 5> marks;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    marks[i] = separator;
    marks[i] += messages::exclusion_mark_names[i];
  }
  return marks;
}

bool passes_name_tests(std::string_view entry_path, platform::PathStyle style) {
  static const std::array<std::string, 5> posix_marks = exclusion_marks(platform::PathStyle::posix);
  static const std::array<std::string, 5> windows_marks =
      exclusion_marks(platform::PathStyle::windows);
  const auto& marks = style == platform::PathStyle::windows ? windows_marks : posix_marks;
  for (const std::string& mark : marks) {
    if (entry_path.find(mark) != std::string_view::npos) return false;
  }
  const std::optional<std::string_view> type = platform::file_type(entry_path, style);
  return type && (*type == "txt" || *type == "TXT");
}

bool is_search_target(std::string_view entry_path, const platform::PathInfo& info,
                      const ScanContext& context) {
  if (info.kind != PathKind::regular_file) return false;
  if (!passes_name_tests(entry_path, platform::native_path_style())) return false;
  return std::find(context.result_files.begin(), context.result_files.end(), info.identity) ==
         context.result_files.end();
}

namespace {

// Files up to this size are read in one go; larger ones pass through a window this large,
// so that memory stays small and the bytes are still in the cache when they are cut,
// tested and copied out.
constexpr std::size_t window_size = std::size_t{4} << 20;

platform::Error not_utf8() { return platform::Error{platform::Error::Kind::invalid_utf8}; }

// The rest of the file through the window, only to check that all of it is UTF-8; the
// window holds its first `total` bytes, and `total` becomes the file's size.
platform::Status check_whole_file(platform::Handle file, char* window, std::uint64_t& total) {
  platform::Utf8Checker checker;
  std::size_t got = static_cast<std::size_t>(total);
  for (;;) {
    if (!checker.feed(std::string_view(window, got))) return not_utf8();
    if (got < window_size) break;
    const platform::Result<std::size_t> more = platform::read_up_to(file, window, window_size);
    if (!more.ok()) return more.error();
    got = more.value();
    total += got;
  }
  return checker.finish() ? platform::success() : platform::Status(not_utf8());
}

}  // namespace

platform::Status search_open_file(platform::Handle file, platform::FileBuffer& buffer,
                                  passages::PassageStream& stream) {
  buffer.clear();
  char* data = buffer.reserve(window_size);
  if (data == nullptr) return platform::out_of_memory();
  const platform::Result<std::size_t> first = platform::read_up_to(file, data, window_size);
  if (!first.ok()) return first.error();
  if (first.value() < window_size) {
    const std::string_view text(data, first.value());
    if (!platform::is_valid_utf8(text)) return not_utf8();
    stream.feed(text, true);
    return platform::success();
  }

  // Larger than the window: checked whole first, then read again and cut as it comes.
  std::uint64_t total = first.value();
  const platform::Status checked = check_whole_file(file, data, total);
  if (!checked.ok()) return checked;
  const platform::Status rewound = platform::rewind_file(file);
  if (!rewound.ok()) return rewound;
  // The second reading is checked too: a file changed in between must not put bytes that
  // are not UTF-8 into the result files.
  platform::Utf8Checker checker;
  std::size_t held = 0;  // the unconsumed bytes at the front of the buffer
  for (;;) {
    // A passage longer than the window makes the window grow. Room for the whole file (and
    // the byte that shows its end) is asked for at once, so that no byte is copied twice;
    // only a file that grew since it was checked needs more.
    std::size_t wanted = held < window_size ? window_size : held + window_size;
    if (wanted > buffer.capacity()) {
      if (held < buffer.capacity() && buffer.capacity() > total) {
        wanted = buffer.capacity();
      } else {
        buffer.set_size(held);
        wanted = std::max(wanted, held < total ? static_cast<std::size_t>(total) + 1 : held * 2);
        data = buffer.reserve(wanted);
        if (data == nullptr) return platform::out_of_memory();
      }
    }
    const platform::Result<std::size_t> got =
        platform::read_up_to(file, data + held, wanted - held);
    if (!got.ok()) return got.error();
    const bool end_of_file = got.value() < wanted - held;
    if (!checker.feed(std::string_view(data + held, got.value())) ||
        (end_of_file && !checker.finish())) {
      return not_utf8();
    }
    const std::string_view text(data, held + got.value());
    const std::size_t consumed = stream.feed(text, end_of_file);
    if (end_of_file) return platform::success();
    held = text.size() - consumed;
    if (consumed != 0) std::memmove(data, data + consumed, held);
  }
}

namespace {

// The file heading line in form I, then the file's passages, or the error that opening it
// gave.
platform::Status search_opened(std::string_view entry_path,
                               const platform::Result<platform::Handle>& opened,
                               ScanContext& context) {
  // Only form I writes the path; form S need not convert it.
  const std::string shown_path =
      context.indexed ? platform::display_text(entry_path) : std::string();
  if (context.indexed) {
    for (passages::ResultSink* file : {context.selection_file, context.rest_file}) {
      file->append(shown_path);
      file->append("\r\n");
    }
  }
  if (!opened.ok()) return opened.error();
  passages::PassageStream stream(context.break_count, *context.conditions,
                                 {context.selection_file, context.rest_file, context.indexed,
                                  shown_path, &context.selected_total, &context.rest_total});
  const platform::Status searched = search_open_file(opened.value(), *context.file_text, stream);
  platform::close_file(opened.value());
  return searched;
}

// A listed regular file, not a link, that passed the name tests: whether it is one of the
// result files is asked of the file once it is open, so that it is opened only once.
platform::Status search_plain_file(std::string_view entry_path, ScanContext& context) {
  const platform::Result<platform::Handle> opened = platform::open_for_reading(entry_path);
  if (!opened.ok()) {
    // Answer as for any entry: one whose attributes cannot be read is passed over.
    if (!is_search_target(entry_path, platform::path_info(entry_path), context))
      return platform::success();
    return search_opened(entry_path, opened, context);
  }
  const platform::Result<platform::FileIdentity> identity = platform::file_identity(opened.value());
  const platform::FileIdentity known =
      identity.ok() ? identity.value() : platform::path_info(entry_path).identity;
  if (std::find(context.result_files.begin(), context.result_files.end(), known) !=
      context.result_files.end()) {
    platform::close_file(opened.value());
    return platform::success();
  }
  return search_opened(entry_path, opened, context);
}

}  // namespace

platform::Status search_text_file(std::string_view entry_path, ScanContext& context) {
  return search_opened(entry_path, platform::open_for_reading(entry_path), context);
}

platform::Status scan_folder(std::string_view target, ScanContext& context) {
  return walk(target, false, context);
}

platform::Status walk_tree_indexed(std::string_view folder, ScanContext& context) {
  return walk(folder, true, context);
}

platform::Status walk_tree_text_only(std::string_view folder, ScanContext& context) {
  return walk(folder, true, context);
}

}  // namespace korvidan::scan
