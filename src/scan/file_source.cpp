#include "scan/file_source.hpp"

#include <algorithm>
#include <chrono>

#include "scan/messages.hpp"
#include "scan/open_ahead.hpp"
#include "scan/scan.hpp"

namespace korvidan::scan {
namespace {

using platform::PathKind;

// A listing that only ever delivers error entries would otherwise be asked forever.
constexpr int max_consecutive_error_entries = 1000;

// Files are opened ahead once two opens in a row have waited this long: an open that the
// system answers from its caches takes a few microseconds, one through a share or of a
// cold disk a millisecond or more (two in a row, so that a thread put aside for another
// now and then does not count). Opening ahead where opens are quick only cost its hand-offs
// (5,000 files of 60 KB in memory: 1.18 of the time on two processors, three times the
// context switches).
constexpr std::chrono::microseconds slow_open{100};
constexpr int slow_opens_in_a_row = 2;

platform::Stop listing_failed(const platform::Error& error) {
  return platform::stop_here(messages::cannot_list_folder, error, true);
}

bool is_result_file(const platform::FileIdentity& identity, const ScanContext& context) {
  return std::find(context.result_files.begin(), context.result_files.end(), identity) !=
         context.result_files.end();
}

platform::Error not_utf8() { return platform::Error{platform::Error::Kind::invalid_utf8}; }

// Reads the next block of `file` into `block` and checks it: the block's item, or the
// file's failure (the block then goes back to `blocks`). The file is closed after its
// last block, or a failure.
ReadItem read_into(OpenFile& file, Block& block, BlockPool& blocks) {
  const platform::Result<std::size_t> got =
      platform::read_up_to(*file.handle, block.data(), block.capacity);
  const bool end_of_file = got.ok() && got.value() < block.capacity;
  const bool failed = !got.ok() ||
                      !file.checker.feed(std::string_view(block.data(), got.value())) ||
                      (end_of_file && !file.checker.finish());
  if (failed || end_of_file) {
    platform::close_file(*file.handle);
    file.handle.reset();
  }
  if (failed) {
    blocks.release(&block);
    return FileFailed{got.ok() ? not_utf8() : got.error()};
  }
  block.size = got.value();
  return TextBytes{&block, end_of_file};
}

}  // namespace

struct FileSource::Level {
  platform::FolderListing listing;
  std::string path;
  platform::FileIdentity identity;
};

OpenedFile FileSource::open(FileToOpen file, Block* block, BlockPool& blocks) const {
  OpenedFile opened{std::move(file.begins), false, {}, std::nullopt};
  platform::Result<platform::Handle> handle = platform::open_for_reading(file.path);
  if (file.listed_as_file) {
    // Whether it is one of the result files is asked of the open file, so that it is
    // opened only once.
    if (handle.ok()) {
      const platform::Result<platform::FileIdentity> identity =
          platform::file_identity(handle.value());
      opened.skipped = is_result_file(
          identity.ok() ? identity.value() : platform::path_info(file.path).identity, *context_);
      if (opened.skipped) platform::close_file(handle.value());
    } else {
      // Answered as for any entry: one whose attributes cannot be read is passed over.
      opened.skipped = !is_search_target(file.path, platform::path_info(file.path), *context_);
    }
  }
  if (opened.skipped || !handle.ok()) {
    if (!handle.ok() && !opened.skipped) opened.first = FileFailed{handle.error()};
    blocks.release(block);
    return opened;
  }
  opened.file.handle = handle.value();
  if (block != nullptr) opened.first = read_into(opened.file, *block, blocks);
  return opened;
}

FileSource::FileSource(std::string target) : target_(std::move(target)) {}

FileSource::FileSource(std::string folder, bool enter_sub_folders, const ScanContext& context)
    : target_(std::move(folder)),
      folder_(true),
      enter_sub_folders_(enter_sub_folders),
      context_(&context) {}

FileSource::~FileSource() {
  if (file_.handle) platform::close_file(*file_.handle);
}

ReadItem FileSource::next(BlockPool& blocks, OpenAhead* opening) {
  if (ending_) {
    ReadItem item = std::move(*ending_);
    ending_ = NothingMore{};  // after the item that ends the run
    return item;
  }
  if (queued_) {
    ReadItem item = std::move(*queued_);
    queued_.reset();
    if (ends_run(item)) ending_ = NothingMore{};
    return item;
  }
  if (file_.handle) {
    Block* block = blocks.take();
    if (block == nullptr) return NothingMore{};  // cancelled
    ReadItem item = read_into(file_, *block, blocks);
    if (ends_run(item)) ending_ = NothingMore{};
    return item;
  }
  std::optional<OpenedFile> opened = next_opened(blocks, opening);
  if (!opened) {
    ending_ = walk_end_ ? std::move(*walk_end_) : ReadItem(NothingMore{});
    walk_end_.reset();
    return next(blocks, opening);
  }
  file_ = std::move(opened->file);
  queued_ = std::move(opened->first);
  return std::move(opened->begins);
}

std::optional<OpenedFile> FileSource::next_opened(BlockPool& blocks, OpenAhead* opening) {
  for (;;) {
    if (opening == nullptr || !opening_ahead_) {
      std::optional<FileToOpen> found = next_file();
      if (!found) return std::nullopt;
      const auto began = std::chrono::steady_clock::now();
      OpenedFile opened = open(std::move(*found), nullptr, blocks);
      if (opening != nullptr) {
        slow_opens_ = std::chrono::steady_clock::now() - began > slow_open ? slow_opens_ + 1 : 0;
        opening_ahead_ = slow_opens_ == slow_opens_in_a_row;
      }
      if (!opened.skipped) return opened;
      continue;
    }
    open_ahead(blocks, *opening);
    if (opening->empty()) return std::nullopt;
    std::optional<OpenedFile> opened = opening->take();
    if (!opened) {  // cancelled
      walk_end_.reset();
      return std::nullopt;
    }
    if (!opened->skipped) return opened;
  }
}

// A file's first block is taken from the pool as it is asked for, in listing order, on
// this thread alone: the blocks the later files hold can never leave the earlier ones
// waiting. A block is waited for only where nothing else is in flight.
void FileSource::open_ahead(BlockPool& blocks, OpenAhead& opening) {
  while (!opening.full()) {
    if (!unasked_) {
      if (walk_end_) return;
      unasked_ = next_file();
      if (!unasked_) return;
    }
    Block* block = opening.empty() ? blocks.take() : blocks.try_take();
    if (block == nullptr) return;  // cancelled, or none free now
    opening.ask(std::move(*unasked_), block);
    unasked_.reset();
  }
}

// The walk keeps an explicit stack, so that no tree depth can exhaust the call stack. A
// folder already on the walk path (reached again through a link) is not entered: that is
// a cycle, which would otherwise nest without end.
std::optional<FileToOpen> FileSource::next_file() {
  const auto end_with = [this](std::optional<platform::Stop> stop) {
    if (stop) {
      walk_end_.emplace(ListingStopped{*stop});
    } else {
      walk_end_.emplace(NothingMore{});
    }
    return std::nullopt;
  };
  if (walk_end_) return std::nullopt;
  if (!folder_) {
    if (started_) return end_with(std::nullopt);
    started_ = true;
    return FileToOpen{target_, {{}, false}, false};
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
    // Paths are shown, in form I, with each invalid sequence as U+FFFD.
    if (entry.plain_file) {
      // A regular file by the listing's word: its identity is asked once it is open.
      if (!passes_name_tests(entry_path, style)) continue;
      std::string shown = platform::display_text(entry_path);
      return FileToOpen{std::move(entry_path), {std::move(shown), true}, true};
    }
    const platform::PathInfo info = platform::path_info(entry_path);
    if (info.kind == PathKind::regular_file) {
      if (!is_search_target(entry_path, info, *context_)) continue;
      std::string shown = platform::display_text(entry_path);
      return FileToOpen{std::move(entry_path), {std::move(shown), true}, false};
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
