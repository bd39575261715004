// Cutting and matching: the cutter's passages equal the plain split, the matcher on the
// raw bytes answers as the plain state machine on each passage text, and the file handed
// over in pieces writes the same bytes as the whole file at once.
// Input: one byte for the break count (-3..4) and the piece size, one for the condition
// length, the condition text, then the file text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "passages/passages.hpp"

using namespace korvidan::passages;

namespace {
struct StringSink final : ResultSink {
  std::string bytes;
  void take_overflow(std::string_view more) override { bytes.append(more); }
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
  const ConditionMatcher matcher(condition_text);
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  std::string scratch;
  for (const Passage& passage : reference.passages) {
    FUZZ_CHECK(cutter.next(span));
    FUZZ_CHECK(span.first_line == passage.first_line && span.last_line == passage.last_line);
    std::string text;
    emit_passage_text(file_text, span, [&text](std::string_view piece) { text.append(piece); });
    FUZZ_CHECK(text == passage.text);
    FUZZ_CHECK(matcher.selected(file_text, span, scratch) ==
               passage_selected(condition_text, passage.text));
  }
  FUZZ_CHECK(!cutter.next(span));

  std::uint64_t totals[4] = {};
  StringSink whole[2];
  process_file_indexed(break_count, matcher, file_text, totals[0], totals[1], "p", whole[0],
                       whole[1]);
  StringSink pieces[2];
  PassageStream stream(break_count, matcher,
                       {&pieces[0], &pieces[1], true, "p", &totals[2], &totals[3]});
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
  FUZZ_CHECK(pieces[0].bytes == whole[0].bytes && pieces[1].bytes == whole[1].bytes);
  return 0;
}
