// Cutting and matching: the cutter's passages equal the plain split, and the matcher on
// the raw bytes answers as the plain state machine on each passage text.
// Input: one byte for the break count (-3..4), one for the condition length, the
// condition text, then the file text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "passages/passages.hpp"

using namespace korvidan::passages;

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
  return 0;
}
