#include <charconv>

#include "passages/passages.hpp"

namespace korvidan::passages {
namespace {

template <class Value>
char* put_decimal(char* at, Value value) {
  return std::to_chars(at, at + 20, value).ptr;
}

char* put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

}  // namespace

PassageStream::PassageStream(std::int32_t break_count, const ConditionMatcher& conditions,
                             const PassageOutput& output)
    : conditions_(conditions), output_(output), cutter_(break_count) {}

std::size_t PassageStream::feed(std::string_view text, bool end_of_file) {
  cutter_.start(text, end_of_file);
  PassageSpan span;
  while (cutter_.next(span)) {
    const bool selected = conditions_.selected(text, span, scratch_);
    ResultSink& destination = selected ? *output_.selection_file : *output_.rest_file;
    if (output_.indexed) write_heading(destination, selected, span);
    const auto append = [&destination](std::string_view piece) { destination.append(piece); };
    if (span.crlf_only) {
      emit_passage_text(text, span, append);
    } else {
      emit_passage_text(text, span, cutter_.bare_line_feeds(), append);
    }
  }
  return end_of_file ? text.size() : cutter_.consumed();
}

void PassageStream::write_heading(ResultSink& destination, bool selected, const PassageSpan& span) {
  const std::uint64_t run_count = selected ? ++*output_.selected_total : ++*output_.rest_total;
  const std::uint64_t count_in_file = selected ? ++selected_in_file_ : ++rest_in_file_;
  // The heading around the path is built in one go: four numbers of at most 20 digits
  // and eight bytes of marks and line ends.
  char heading[4 * 20 + 8];
  char* at = put_decimal(heading, run_count);
  at = put(at, "\r\n");
  at = put_decimal(at, span.first_line);
  at = put(at, "--");
  at = put_decimal(at, span.last_line);
  at = put(at, "  ");
  destination.append(std::string_view(heading, static_cast<std::size_t>(at - heading)));
  if (!output_.path.empty()) destination.append(output_.path);
  at = put(heading, "\r\n");
  at = put_decimal(at, count_in_file);
  at = put(at, "\r\n");
  destination.append(std::string_view(heading, static_cast<std::size_t>(at - heading)));
}

void process_file_text_only(std::int32_t break_count, const ConditionMatcher& conditions,
                            std::string_view file_text, ResultSink& selection_file,
                            ResultSink& rest_file) {
  PassageStream(break_count, conditions, {&selection_file, &rest_file, false, {}, nullptr, nullptr})
      .feed(file_text, true);
}

void process_file_indexed(std::int32_t break_count, const ConditionMatcher& conditions,
                          std::string_view file_text, std::uint64_t& selected_total,
                          std::uint64_t& rest_total, std::string_view path,
                          ResultSink& selection_file, ResultSink& rest_file) {
  PassageStream(break_count, conditions,
                {&selection_file, &rest_file, true, path, &selected_total, &rest_total})
      .feed(file_text, true);
}

}  // namespace korvidan::passages
