// The folder scan and the per-file search: which text files of a folder, or of its whole
// tree, are searched, in listing order; reading each one once, in blocks; cutting and
// testing its passages; and handing them to the results stage on the calling thread, the
// stages on up to three threads. How the stages do it is this room's own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conditions/conditions.hpp"
#include "platform/platform.hpp"
#include "results/results.hpp"

namespace korvidan::scan {

// What every file of a run is searched with: the break count, the prepared conditions and
// the results stage that takes the passages. Borrowed for the length of the search.
struct SearchSetup {
  std::int32_t break_count;
  const conditions::ConditionMatcher& conditions;
  results::ResultFiles& results;
  // The threads of the search: 1 (all on the calling thread), 2 (reading, cutting and
  // testing on one, writing on the calling thread) or 3 and more (a stage each). 0, as a run
  // has it: KORVIDAN_THREADS where it is set (to measure each way), else as many as the
  // processors the process may use. Tests set it, to run each way.
  unsigned threads = 0;
};

// A whole file's text in one go, on the calling thread: for tests, as the reference the
// stages of a run are held to (a run goes through `search_file` or the folder scans). The
// form is the results stage's; the two names say which one the caller set up.
void process_file_text_only(std::int32_t break_count,
                            const conditions::ConditionMatcher& conditions,
                            std::string_view file_text, results::ResultFiles& results);
void process_file_indexed(std::int32_t break_count, const conditions::ConditionMatcher& conditions,
                          std::string_view file_text, results::ResultFiles& results);

// Searches one named file (a single-file run): no heading line, an empty path. Returns the
// error of opening or reading it, or Kind::invalid_utf8; the result files then hold nothing
// of it.
platform::Outcome search_file(std::string_view target, const SearchSetup& setup);

// Everything a scan borrows from the run, for the length of the scan.
struct ScanContext {
  const SearchSetup* setup = nullptr;
  // The run's own result files: never searched, whatever path reaches them.
  std::vector<platform::FileIdentity> result_files;
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

// The folder scans. Files are listed, opened, read and checked for UTF-8 a few blocks ahead
// of the cutting and testing, and those ahead of the writing on the calling thread; what the
// result files get, and which failure ends the run, are exactly those of one thread doing
// everything file after file. A file that cannot be opened or
// read, or is not UTF-8, ends the scan with its error (form I: after its heading lines); a folder
// that cannot be listed, with the stop; a failed write, once its file is checked to its end. The
// text files directly in `target`; sub-folders are not entered.
platform::Outcome scan_folder(std::string_view target, ScanContext& context);
// The text files of `folder` and of every folder below it, depth first in listing order.
// The form is the results stage's; the two names say which one the caller set up.
platform::Outcome walk_tree_indexed(std::string_view folder, ScanContext& context);
platform::Outcome walk_tree_text_only(std::string_view folder, ScanContext& context);

}  // namespace korvidan::scan
