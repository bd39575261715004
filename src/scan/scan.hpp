// The folder scan: which text files of a folder, or of its whole tree, are searched, in
// listing order, and the per-file step that reads each one and hands it to the engine.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "passages/passages.hpp"
#include "platform/platform.hpp"

namespace korvidan::scan {

// Everything a scan borrows from the run, for the length of the scan.
struct ScanContext {
  std::int32_t break_count = 0;
  const passages::ConditionMatcher* conditions = nullptr;
  platform::FileBuffer* file_text = nullptr;
  passages::ResultSink* selection_file = nullptr;
  passages::ResultSink* rest_file = nullptr;
  bool indexed = false;
  std::uint64_t selected_total = 0;
  std::uint64_t rest_total = 0;
  // The run's own result files: never searched, whatever path reaches them.
  std::vector<platform::FileIdentity> result_files;
  // Makes the result files hold everything written so far; called before a fatal stop.
  std::function<void()> flush_results;
};

// The five marks that keep a file out of a folder scan, with the platform's separator.
std::array<std::string, 5> exclusion_marks(platform::PathStyle style);

// Tests 2 and 3 of a listed file: no exclusion mark anywhere in the entry path (byte
// exact), and a file type of exactly "txt" or "TXT".
bool passes_name_tests(std::string_view entry_path, platform::PathStyle style);

// The whole test of a listed entry: a regular file (links followed), then the name tests,
// and not one of the run's own result files.
bool is_search_target(std::string_view entry_path, const platform::PathInfo& info,
                      const ScanContext& context);

// Reads the open file through `buffer` and hands its text to `stream`. Nothing of the file
// is written unless all of it is UTF-8. Returns the read error, or Kind::invalid_utf8.
platform::Status search_open_file(platform::Handle file, platform::FileBuffer& buffer,
                                  passages::PassageStream& stream);

// Opens one text file and searches it; in form I the file heading line goes to both
// result files first. Returns the open or read error.
platform::Status search_text_file(std::string_view entry_path, ScanContext& context);

// The text files directly in `target`; sub-folders are not entered.
platform::Status scan_folder(std::string_view target, ScanContext& context);
// The text files of `folder` and of every folder below it, depth first in listing order.
platform::Status walk_tree_indexed(std::string_view folder, ScanContext& context);
platform::Status walk_tree_text_only(std::string_view folder, ScanContext& context);

}  // namespace korvidan::scan
