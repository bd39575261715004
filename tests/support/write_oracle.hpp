// What the result files must hold after a failed write: the write requests an unbuffered
// run makes, computed from a model of the searched files, and what a byte limit per file
// leaves of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvidan::testing {

// One write request of an unbuffered run: to which result file, and its bytes.
struct WriteRequest {
  bool to_selection = false;
  std::string bytes;
};

struct ResultBytes {
  std::string selection;
  std::string rest;
  bool cut_short = false;  // some request did not fit: the run stops with "cannot write !!"
};

// The requests in turn, each file taking bytes up to `limit`; the first request that does
// not fit whole keeps its leading part, and nothing after it is written anywhere.
ResultBytes under_limit(const std::vector<WriteRequest>& requests, std::uint64_t limit);
inline ResultBytes complete(const std::vector<WriteRequest>& requests) {
  return under_limit(requests, UINT64_MAX);
}

// A text file of passages with break count 2: each passage is whole LF-ended lines, an
// empty line between two passages. A passage is selected when one of its lines holds
// `keyword`.
struct TextFileModel {
  std::string shown_path;  // as the program writes it in form I ("" in a single-file run)
  std::vector<std::vector<std::string>> passages;
  std::string text() const;
};

// The requests of a run over `files` in this order: both byte-order marks, then for each
// file its heading lines (form I folder runs), then its passages, each passage's heading
// (form I) and text one request each.
std::vector<WriteRequest> unbuffered_requests(const std::vector<TextFileModel>& files,
                                              std::string_view keyword, bool indexed,
                                              bool folder_run);

}  // namespace korvidan::testing
