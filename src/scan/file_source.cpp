#include "scan/file_source.hpp"

#include <algorithm>

#include "scan/messages.hpp"
#include "scan/scan.hpp"

namespace korvidan::scan {
namespace {

using platform::PathKind;

// A listing that only ever delivers error entries would otherwise be asked forever.
constexpr int max_consecutive_error_entries = 1000;

platform::Stop listing_failed(const platform::Error& error) {
  return platform::stop_here(messages::cannot_list_folder, error, true);
}

bool is_result_file(const platform::FileIdentity& identity, const ScanContext& context) {
  return std::find(context.result_files.begin(), context.result_files.end(), identity) !=
         context.result_files.end();
}

platform::Error not_utf8() { return platform::Error{platform::Error::Kind::invalid_utf8}; }

}  // namespace

struct FileSource::Level {
  platform::FolderListing listing;
  std::string path;
  platform::FileIdentity identity;
};

FileSource::FileSource(std::string target) : target_(std::move(target)) {}

FileSource::FileSource(std::string folder, bool enter_sub_folders, const ScanContext& context)
    : target_(std::move(folder)),
      folder_(true),
      enter_sub_folders_(enter_sub_folders),
      context_(&context) {}

FileSource::~FileSource() {
  if (file_) platform::close_file(*file_);
}

ReadItem FileSource::next(BlockPool& blocks) {
  if (ending_) {
    ReadItem item = std::move(*ending_);
    ending_ = NothingMore{};  // after the item that ends the run
    return item;
  }
  if (file_) return read_block(blocks);
  std::optional<Pending> pending = next_file();
  if (!pending) return next(blocks);
  if (pending->opened.ok()) {
    file_ = pending->opened.value();
    checker_ = text::Utf8Checker();
  } else {
    ending_ = FileFailed{pending->opened.error()};
  }
  return FileBegins{std::move(pending->path), pending->heading};
}

ReadItem FileSource::read_block(BlockPool& blocks) {
  Block* block = blocks.take();
  if (block == nullptr) return NothingMore{};  // cancelled
  const platform::Result<std::size_t> got =
      platform::read_up_to(*file_, block->data(), block->capacity);
  const bool end_of_file = got.ok() && got.value() < block->capacity;
  if (!got.ok() || !checker_.feed(std::string_view(block->data(), got.value())) ||
      (end_of_file && !checker_.finish())) {
    blocks.release(block);
    platform::close_file(*file_);
    file_.reset();
    ending_ = NothingMore{};
    return FileFailed{got.ok() ? not_utf8() : got.error()};
  }
  block->size = got.value();
  if (end_of_file) {
    platform::close_file(*file_);
    file_.reset();
  }
  return TextBytes{block, end_of_file};
}

// The walk keeps an explicit stack, so that no tree depth can exhaust the call stack. A
// folder already on the walk path (reached again through a link) is not entered: that is
// a cycle, which would otherwise nest without end.
std::optional<FileSource::Pending> FileSource::next_file() {
  const auto end_with = [this](std::optional<platform::Stop> stop) {
    if (stop) {
      ending_.emplace(ListingStopped{*stop});
    } else {
      ending_.emplace(NothingMore{});
    }
    return std::nullopt;
  };
  if (!folder_) {
    if (started_) return end_with(std::nullopt);
    started_ = true;
    return Pending{{}, platform::open_for_reading(target_), false};
  }
  if (!started_) {
    started_ = true;
    platform::Result<platform::FolderListing> opened = platform::FolderListing::open(target_);
    if (!opened.ok()) return end_with(listing_failed(opened.error()));
    levels_.push_back({std::move(opened.value()), target_, platform::path_info(target_).identity});
  }
  const platform::PathStyle style = platform::native_path_style();
  while (!levels_.empty()) {
    platform::ListingEntry entry = levels_.back().listing.next();
    if (entry.kind == platform::ListingEntry::Kind::end) {
      levels_.pop_back();
      continue;
    }
    if (entry.kind == platform::ListingEntry::Kind::error) {
      if (++consecutive_errors_ >= max_consecutive_error_entries) {
        return end_with(listing_failed(entry.error));
      }
      continue;
    }
    consecutive_errors_ = 0;
    std::string entry_path = platform::join_entry_path(levels_.back().path, entry.name, style);
    // Pending paths are shown, in form I, with each invalid sequence as U+FFFD.
    if (entry.plain_file) {
      // A regular file by the listing's word: opened first, and whether it is one of the
      // result files is asked of the open file, so that it is opened only once.
      if (!passes_name_tests(entry_path, style)) continue;
      platform::Result<platform::Handle> opened = platform::open_for_reading(entry_path);
      if (opened.ok()) {
        const platform::Result<platform::FileIdentity> identity =
            platform::file_identity(opened.value());
        if (is_result_file(
                identity.ok() ? identity.value() : platform::path_info(entry_path).identity,
                *context_)) {
          platform::close_file(opened.value());
          continue;
        }
      } else if (!is_search_target(entry_path, platform::path_info(entry_path), *context_)) {
        continue;  // answered as for any entry: one whose attributes cannot be read is passed over
      }
      return Pending{platform::display_text(entry_path), std::move(opened), true};
    }
    const platform::PathInfo info = platform::path_info(entry_path);
    if (info.kind == PathKind::regular_file) {
      if (!is_search_target(entry_path, info, *context_)) continue;
      return Pending{platform::display_text(entry_path), platform::open_for_reading(entry_path),
                     true};
    }
    if (info.kind == PathKind::folder && enter_sub_folders_) {
      const bool on_walk_path =
          std::any_of(levels_.begin(), levels_.end(),
                      [&info](const Level& level) { return level.identity == info.identity; });
      if (on_walk_path) continue;
      platform::Result<platform::FolderListing> opened = platform::FolderListing::open(entry_path);
      if (!opened.ok()) return end_with(listing_failed(opened.error()));
      levels_.push_back({std::move(opened.value()), std::move(entry_path), info.identity});
    }
  }
  return end_with(std::nullopt);
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

}  // namespace korvidan::scan
