// Cutting and matching: the cutter's passages equal the plain split, the matcher on the
// raw bytes answers as the plain state machine on each passage text (one by one and all at
// once), and the file handed over in pieces writes the same bytes as the whole file at once.
// Input: one byte for the break count (-3..4) and the piece size, one for the condition
// length, the condition text, then the file text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conditions/conditions.hpp"
#include "fuzz_support.hpp"
#include "passages/passages.hpp"
#include "results/results.hpp"
#include "scan/passage_tester.hpp"
#include "scan/scan.hpp"

using namespace korvidan;
using namespace korvidan::passages;

namespace {
struct StringTarget final : results::ResultTarget {
  std::string bytes;
  platform::Written write(std::string_view more) override {
    bytes.append(more);
    return {more.size(), std::nullopt};
  }
  platform::Status truncate(std::uint64_t size) override {
    bytes.resize(size);
    return platform::success();
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::int32_t break_count = static_cast<std::int32_t>(data[0] % 8) - 3;
  const std::size_t condition_length = data[1] < size - 2 ? data[1] : size - 2;
  const std::string condition_text(reinterpret_cast<const char*>(data + 2), condition_length);
  const std::string file_text(reinterpret_cast<const char*>(data + 2 + condition_length),
                              size - 2 - condition_length);
  PassageWorkspace reference;
  split_passages(break_count, file_text, reference);
  const conditions::ConditionMatcher matcher(condition_text);
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  std::string scratch;
  std::vector<std::size_t> ends;
  std::vector<bool> expected;
  std::size_t begin = 0;
  bool unterminated = false;
  for (const Passage& passage : reference.passages) {
    FUZZ_CHECK(cutter.next(span));
    FUZZ_CHECK(span.first_line == passage.first_line && span.last_line == passage.last_line);
    std::string text;
    const text::LineRegion lines = cutter.lines(span);
    lines.emit_crlf([&text](std::string_view piece) { text.append(piece); });
    FUZZ_CHECK(text == passage.text);
    const bool selected = conditions::passage_selected(condition_text, passage.text);
    FUZZ_CHECK(matcher.selected(lines, file_text.size() - span.end, scratch) == selected);
    if (ends.empty()) begin = span.begin;
    ends.push_back(span.end);
    expected.push_back(selected);
    unterminated = span.unterminated;
  }
  FUZZ_CHECK(!cutter.next(span));
  // All the passages tested at once: the first group searched over them all.
  const std::unique_ptr<bool[]> answers = std::make_unique<bool[]>(ends.size());
  matcher.select(file_text, begin, ends, unterminated, answers.get(), scratch);
  for (std::size_t i = 0; i < ends.size(); ++i) FUZZ_CHECK(answers[i] == expected[i]);

  StringTarget whole[2];
  results::ResultFiles whole_files(whole[0], whole[1], true, 4096);
  whole_files.begin_file("p");
  scan::process_file_indexed(break_count, matcher, file_text, whole_files);
  FUZZ_CHECK(!whole_files.finish());
  // A small buffer, so that the pieces also overflow it.
  StringTarget pieces[2];
  results::ResultFiles piece_files(pieces[0], pieces[1], true, 1 + data[1] % 16);
  piece_files.begin_file("p");
  scan::PassageStream stream(break_count, matcher, piece_files);
  const std::size_t piece = 1 + (data[0] >> 3);
  std::string held;
  for (std::size_t at = 0;;) {
    const std::size_t take = piece < file_text.size() - at ? piece : file_text.size() - at;
    held.append(file_text, at, take);
    at += take;
    const bool end_of_file = at == file_text.size();
    const std::size_t consumed = stream.feed(held, end_of_file);
    FUZZ_CHECK(consumed <= held.size());
    if (end_of_file) break;
    held.erase(0, consumed);
  }
  FUZZ_CHECK(!piece_files.finish());
  FUZZ_CHECK(pieces[0].bytes == whole[0].bytes && pieces[1].bytes == whole[1].bytes);
  return 0;
}
