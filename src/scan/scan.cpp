#include "scan/scan.hpp"

#include <algorithm>
#include <cstring>

#include "scan/messages.hpp"
#include "scan/read_ahead.hpp"

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

// Files are read in blocks this large, this many in flight: the reading thread runs a few
// blocks ahead, and the blocks are still in the cache when they are cut, tested and copied
// out. Blocks of 4 MiB made a file of one-line passages slower than one thread reading
// twice (0.29 s against 0.22 s for 200 MB); 1 MiB made it faster (0.19 s), and the one
// large file too (0.53 s against 0.75 s a GB). Each stage holds one or two, so that four
// left the reader waiting on a tree of small files (half the context switches with eight).
constexpr std::size_t block_size = std::size_t{1} << 20;
constexpr std::size_t blocks_in_flight = 8;

platform::Error not_utf8() { return platform::Error{platform::Error::Kind::invalid_utf8}; }

// ---- the writing stage

// Takes the items in the order they were met and hands each file's tested passages to
// the results stage. A file that fails is taken back whole; a write that fails waits for
// the end of its file (a file that fails after all withdraws it).
platform::Outcome consume(TestAhead& ahead, results::ResultFiles& results) {
  results::ResultFiles::Mark start = results.mark();
  for (;;) {
    TestedItem tested = ahead.pop();
    const ReadItem& item = tested.item;
    switch (item.kind) {
      case ReadItem::Kind::file:
        if (results.stopped()) return platform::Outcome();
        if (item.heading) results.begin_file(item.path);
        start = results.mark();
        break;
      case ReadItem::Kind::text:
        // After a failed write nothing more is written, but the file is still read (and
        // cut) to its end: only a file that checks out ends in the write stop.
        if (tested.in_one_pass) {
          ahead.pass(tested, [&results](const passages::PassageSpan& span,
                                        const text::LineRegion& lines, bool selected) {
            if (!results.stopped()) {
              results.write_passage(selected, lines, span.first_line, span.last_line);
            }
          });
          if (item.kind == ReadItem::Kind::failed) {
            results.take_back(start);
            return item.error;
          }
        } else {
          if (!results.stopped()) ahead.test_rest(tested);
          write_tested(tested.text, tested.tested, results);
        }
        ahead.release(tested);
        if (item.end_of_file && results.stopped()) return platform::Outcome();
        break;
      case ReadItem::Kind::failed:
        results.take_back(start);
        return item.error;
      case ReadItem::Kind::stopped:
        return item.stop;
      case ReadItem::Kind::done:
        return platform::Outcome();
    }
  }
}

// One processor only: a thread would only cost its hand-offs (a switch per file made
// 5,000 small files 10 % slower on one core).
platform::Outcome search(PassageStream& stream, FileSource& source) {
  const bool threaded = platform::usable_processors() > 1;
  ReadAhead reading(blocks_in_flight, block_size, source, threaded);
  TestAhead testing(reading, stream, threaded);
  return consume(testing, stream.results());
}

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

ReadItem FileSource::next(ReadAhead& ahead) {
  if (ending_) {
    ReadItem item = std::move(*ending_);
    ending_ = ReadItem{};  // after the item that ends the run: done
    return item;
  }
  if (file_) return read_block(ahead);
  std::optional<Pending> pending = next_file();
  if (!pending) return next(ahead);
  ReadItem begins;
  begins.kind = ReadItem::Kind::file;
  begins.heading = pending->heading;
  begins.path = std::move(pending->path);
  if (pending->opened.ok()) {
    file_ = pending->opened.value();
    checker_ = text::Utf8Checker();
  } else {
    ending_.emplace();
    ending_->kind = ReadItem::Kind::failed;
    ending_->error = pending->opened.error();
  }
  return begins;
}

ReadItem FileSource::read_block(ReadAhead& ahead) {
  ReadItem item;
  Block* block = ahead.blocks().take();
  if (block == nullptr) return item;  // cancelled
  const platform::Result<std::size_t> got =
      platform::read_up_to(*file_, block->data(), block->capacity);
  const bool end_of_file = got.ok() && got.value() < block->capacity;
  if (!got.ok() || !checker_.feed(std::string_view(block->data(), got.value())) ||
      (end_of_file && !checker_.finish())) {
    ahead.blocks().release(block);
    platform::close_file(*file_);
    file_.reset();
    item.kind = ReadItem::Kind::failed;
    item.error = got.ok() ? not_utf8() : got.error();
    ending_ = ReadItem{};
    return item;
  }
  block->size = got.value();
  item.kind = ReadItem::Kind::text;
  item.block = block;
  item.end_of_file = end_of_file;
  if (end_of_file) {
    platform::close_file(*file_);
    file_.reset();
  }
  return item;
}

// The walk keeps an explicit stack, so that no tree depth can exhaust the call stack. A
// folder already on the walk path (reached again through a link) is not entered: that is
// a cycle, which would otherwise nest without end.
std::optional<FileSource::Pending> FileSource::next_file() {
  const auto end_with = [this](std::optional<platform::Stop> stop) {
    ending_.emplace();
    if (stop) {
      ending_->kind = ReadItem::Kind::stopped;
      ending_->stop = *stop;
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

platform::Outcome search_file(std::string_view target, PassageStream& stream) {
  FileSource source{std::string(target)};
  return search(stream, source);
}

platform::Outcome scan_folder(std::string_view target, ScanContext& context) {
  FileSource source(std::string(target), false, context);
  return search(*context.stream, source);
}

namespace {

platform::Outcome walk_tree(std::string_view folder, ScanContext& context) {
  FileSource source(std::string(folder), true, context);
  return search(*context.stream, source);
}

}  // namespace

platform::Outcome walk_tree_indexed(std::string_view folder, ScanContext& context) {
  return walk_tree(folder, context);
}

platform::Outcome walk_tree_text_only(std::string_view folder, ScanContext& context) {
  return walk_tree(folder, context);
}

}  // namespace korvidan::scan
