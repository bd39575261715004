#include "scan/scan.hpp"

#include <algorithm>

#include "scan/messages.hpp"

namespace korvidan::scan {
namespace {

using platform::PathKind;

// A listing that only ever delivers error entries would otherwise be asked forever.
constexpr int max_consecutive_error_entries = 1000;

platform::Stop listing_failed(const platform::Error& error) {
  return platform::stop_here(messages::cannot_list_folder, error, true);
}

struct WalkLevel {
  platform::FolderListing listing;
  std::string path;
  platform::FileIdentity identity;
};

bool is_result_file(const platform::FileIdentity& identity, const ScanContext& context) {
  return std::find(context.result_files.begin(), context.result_files.end(), identity) !=
         context.result_files.end();
}

// One walk for all three scans; an explicit stack, so that no tree depth can exhaust the
// call stack. A folder already on the walk path (reached again through a link) is not
// entered: that is a cycle, which would otherwise nest without end.
platform::Outcome walk(std::string_view folder, bool enter_sub_folders, ScanContext& context) {
  const platform::PathStyle style = platform::native_path_style();
  std::vector<WalkLevel> levels;
  {
    platform::Result<platform::FolderListing> opened = platform::FolderListing::open(folder);
    if (!opened.ok()) return listing_failed(opened.error());
    levels.push_back(
        {std::move(opened.value()), std::string(folder), platform::path_info(folder).identity});
  }
  int consecutive_errors = 0;
  while (!levels.empty()) {
    platform::ListingEntry entry = levels.back().listing.next();
    if (entry.kind == platform::ListingEntry::Kind::end) {
      levels.pop_back();
      continue;
    }
    if (entry.kind == platform::ListingEntry::Kind::error) {
      if (++consecutive_errors >= max_consecutive_error_entries) return listing_failed(entry.error);
      continue;
    }
    consecutive_errors = 0;
    std::string entry_path = platform::join_entry_path(levels.back().path, entry.name, style);
    platform::Status searched = platform::success();
    if (entry.plain_file) {
      // A regular file by the listing's word: opened first, and whether it is one of the
      // result files is asked of the open file, so that it is opened only once.
      if (!passes_name_tests(entry_path, style)) continue;
      const platform::Result<platform::Handle> opened = platform::open_for_reading(entry_path);
      if (opened.ok()) {
        const platform::Result<platform::FileIdentity> identity =
            platform::file_identity(opened.value());
        if (is_result_file(
                identity.ok() ? identity.value() : platform::path_info(entry_path).identity,
                context)) {
          platform::close_file(opened.value());
          continue;
        }
      } else if (!is_search_target(entry_path, platform::path_info(entry_path), context)) {
        continue;  // answered as for any entry: one whose attributes cannot be read is passed over
      }
      searched = search_text_file(entry_path, opened, context);
    } else {
      const platform::PathInfo info = platform::path_info(entry_path);
      if (info.kind == PathKind::regular_file) {
        if (!is_search_target(entry_path, info, context)) continue;
        searched = search_text_file(entry_path, platform::open_for_reading(entry_path), context);
      } else if (info.kind == PathKind::folder && enter_sub_folders) {
        const bool on_walk_path = std::any_of(
            levels.begin(), levels.end(),
            [&info](const WalkLevel& level) { return level.identity == info.identity; });
        if (on_walk_path) continue;
        platform::Result<platform::FolderListing> opened =
            platform::FolderListing::open(entry_path);
        if (!opened.ok()) return listing_failed(opened.error());
        levels.push_back({std::move(opened.value()), std::move(entry_path), info.identity});
        continue;
      }
    }
    if (!searched.ok()) return searched.error();
    // A failed write has decided the stop; the results stage reports it.
    if (context.results->stopped()) return platform::Outcome();
  }
  return platform::Outcome();
}

// Files are read through a window this large, so that memory stays small and the bytes
// are still in the cache when they are cut, tested and copied out.
constexpr std::size_t window_size = std::size_t{4} << 20;

platform::Error not_utf8() { return platform::Error{platform::Error::Kind::invalid_utf8}; }

}  // namespace

// Each file is read once. A window is checked for UTF-8 before its passages are handed
// over, so a file larger than the window may have passages written before a later byte
// shows that it is not UTF-8, or a read fails: then everything decided since the file began
// is taken back, and the result files hold what they would hold had the file been checked
// whole first. A write that fails meanwhile is settled the same way: the rest of the file
// is read and checked before the stop stands.
platform::Status feed_file(platform::Handle file, platform::FileBuffer& window,
                           PassageStream& stream) {
  results::ResultFiles& results = stream.results();
  const results::ResultFiles::Mark start = results.mark();
  const auto failed = [&results, &start](const platform::Error& error) {
    results.take_back(start);
    return platform::Status(error);
  };
  stream.start_file();
  window.clear();
  text::Utf8Checker checker;
  for (;;) {
    // A passage longer than the window makes it grow.
    const std::size_t held = window.size();
    const std::size_t wanted = held < window_size ? window_size : 2 * held;
    if (!window.reserve(wanted)) return failed(platform::out_of_memory());
    const std::size_t room = wanted - held;
    const platform::Result<std::size_t> got = platform::read_up_to(file, window.spare(), room);
    if (!got.ok()) return failed(got.error());
    window.commit(got.value());
    const bool end_of_file = got.value() < room;
    if (!checker.feed(window.view().substr(held)) || (end_of_file && !checker.finish())) {
      return failed(not_utf8());
    }
    if (results.stopped()) {
      window.clear();  // only checked now: nothing more is written
    } else {
      window.drop_front(stream.feed(window.view(), end_of_file));
    }
    if (end_of_file) return platform::success();
  }
}

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
  return !is_result_file(info.identity, context);
}

platform::Status search_text_file(std::string_view entry_path,
                                  const platform::Result<platform::Handle>& opened,
                                  ScanContext& context) {
  // The path is shown, in form I, with each invalid sequence as U+FFFD.
  context.results->begin_file(platform::display_text(entry_path));
  if (!opened.ok()) return opened.error();
  const platform::Status searched = feed_file(opened.value(), *context.window, *context.stream);
  platform::close_file(opened.value());
  return searched;
}

platform::Outcome scan_folder(std::string_view target, ScanContext& context) {
  return walk(target, false, context);
}

platform::Outcome walk_tree_indexed(std::string_view folder, ScanContext& context) {
  return walk(folder, true, context);
}

platform::Outcome walk_tree_text_only(std::string_view folder, ScanContext& context) {
  return walk(folder, true, context);
}

}  // namespace korvidan::scan
