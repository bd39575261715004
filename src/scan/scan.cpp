#include "scan/scan.hpp"

#include <algorithm>
#include <cstdlib>

#include "scan/file_source.hpp"
#include "scan/read_ahead.hpp"
#include "scan/test_ahead.hpp"

namespace korvidan::scan {
namespace {

// Files are read in blocks this large, this many in flight: the reading thread runs a few
// blocks ahead, and the blocks are still in the cache when they are cut, tested and copied
// out. Blocks of 4 MiB made a file of one-line passages slower than one thread reading
// twice (0.29 s against 0.22 s for 200 MB); 1 MiB made it faster (0.19 s), and the one
// large file too (0.53 s against 0.75 s a GB). Once the writing side cut what it tests
// itself, 256 KiB took 0.78 of the time of 1 MiB on one-line passages on two processors
// (0.95 on one; the system's copy into a block that the other processor read last was
// most of the reading), big and tree 0.98 to 0.99; 128 KiB made big 1.13 of 256 KiB,
// 512 KiB and 384 KiB made one-line passages 1.04 to 1.07. Each stage holds one or two,
// so that four left the reader waiting on a tree of small files (half the context
// switches with eight; sixteen of 256 KiB gained nothing).
constexpr std::size_t block_size = std::size_t{256} << 10;
constexpr std::size_t blocks_in_flight = 8;
// Files of a folder opened and begun ahead of their turn, each with a block of its own:
// on a share or a slow disk each open and read waits for the device.
constexpr std::size_t files_opened_ahead = 16;

// The threads a search may use: the setup's, else KORVIDAN_THREADS (for measuring each
// arrangement on one machine), else the processors the process may use.
unsigned search_threads(const SearchSetup& setup) {
  if (setup.threads != 0) return setup.threads;
  if (const char* asked = std::getenv("KORVIDAN_THREADS")) {
    const unsigned long count = std::strtoul(asked, nullptr, 10);
    if (count >= 1 && count <= 64) return static_cast<unsigned>(count);
  }
  return platform::usable_processors();
}

// ---- the writing stage

// Takes the items in the order they were met and hands each file's tested passages to
// the results stage. A file that fails is taken back whole; a write that fails waits for
// the end of its file (a file that fails after all withdraws it).
platform::Outcome consume(TestAhead& ahead, results::ResultFiles& results) {
  results::ResultFiles::Mark start = results.mark();
  for (;;) {
    TestedItem tested = ahead.pop();
    if (const FileBegins* const file = std::get_if<FileBegins>(&tested.item)) {
      if (results.stopped()) return platform::Outcome();
      if (file->heading) results.begin_file(file->path);
      start = results.mark();
      continue;
    }
    if (std::holds_alternative<TextBytes>(tested.item)) {
      // After a failed write nothing more is written, but the file is still read (and
      // cut) to its end: only a file that checks out ends in the write stop.
      if (tested.in_one_pass) {
        ahead.pass(tested, [&results](const passages::PassageSpan& span,
                                      const text::LineRegion& lines, bool selected) {
          if (!results.stopped()) {
            results.write_passage(selected, lines, span.first_line, span.last_line);
          }
        });
      } else {
        ahead.write(tested, results);
      }
    }
    if (const TextBytes* const text = std::get_if<TextBytes>(&tested.item)) {
      const bool end_of_file = text->end_of_file;
      ahead.release(tested);
      if (end_of_file && results.stopped()) return platform::Outcome();
      continue;
    }
    if (const FileFailed* const failed = std::get_if<FileFailed>(&tested.item)) {
      results.take_back(start);
      return failed->error;
    }
    if (const ListingStopped* const stopped = std::get_if<ListingStopped>(&tested.item)) {
      return stopped->stop;
    }
    return platform::Outcome();  // nothing more
  }
}

// A stage a thread where each can have a processor of its own. On two, the reading joins
// the cutting and testing: three threads only took turns on the two processors (big 0.84,
// tree 0.85, tiny 0.94 of their time, typical query, form S). On one, a thread would only
// cost its hand-offs (a switch per file made 5,000 small files 10 % slower on one core).
// From two on, a folder's files are opened ahead where opens wait for the device, whatever
// the processors: those threads only wait.
platform::Outcome search(const SearchSetup& setup, FileSource& source) {
  const unsigned threads = search_threads(setup);
  // KORVIDAN_OPEN_AHEAD=always: from the first file on, not once opens are seen to wait.
  const char* open_ahead = std::getenv("KORVIDAN_OPEN_AHEAD");
  if (open_ahead != nullptr && std::string_view(open_ahead) == "always") {
    source.open_ahead_from_the_start();
  }
  // From three on, the threads besides the reading, the cutting and the writing test
  // blocks, at least one; a block in flight for each between the stages, and four more.
  const std::size_t workers = threads >= 3 ? threads - 2 : 0;
  const std::size_t tested_in_flight = workers + 4;
  ReadAhead reading(blocks_in_flight + (workers != 0 ? tested_in_flight : 0), block_size, source,
                    threads >= 3, threads >= 2 ? files_opened_ahead : 0);
  TestAhead testing(reading, setup, threads >= 2, workers, tested_in_flight);
  return consume(testing, setup.results);
}

platform::Outcome walk_tree(std::string_view folder, ScanContext& context) {
  FileSource source(std::string(folder), true, context);
  return search(*context.setup, source);
}

}  // namespace

platform::Outcome search_file(std::string_view target, const SearchSetup& setup) {
  FileSource source{std::string(target)};
  return search(setup, source);
}

platform::Outcome scan_folder(std::string_view target, ScanContext& context) {
  FileSource source(std::string(target), false, context);
  return search(*context.setup, source);
}

platform::Outcome walk_tree_indexed(std::string_view folder, ScanContext& context) {
  return walk_tree(folder, context);
}

platform::Outcome walk_tree_text_only(std::string_view folder, ScanContext& context) {
  return walk_tree(folder, context);
}

}  // namespace korvidan::scan
