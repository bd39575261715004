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

void process_file_text_only(std::int32_t break_count, const ConditionMatcher& conditions,
                            std::string_view file_text, PassageWorkspace& workspace,
                            ResultSink& selection_file, ResultSink& rest_file) {
  workspace.line_buffer.clear();
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  while (cutter.next(span)) {
    ResultSink& destination =
        conditions.selected(file_text, span, workspace.line_buffer) ? selection_file : rest_file;
    emit_passage_text(file_text, span,
                      [&destination](std::string_view piece) { destination.append(piece); });
  }
}

void process_file_indexed(std::int32_t break_count, const ConditionMatcher& conditions,
                          std::string_view file_text, PassageWorkspace& workspace,
                          std::uint64_t& selected_total, std::uint64_t& rest_total,
                          std::string_view path, ResultSink& selection_file,
                          ResultSink& rest_file) {
  workspace.line_buffer.clear();
  std::uint64_t selected_in_file = 0;
  std::uint64_t rest_in_file = 0;
  PassageCutter cutter(break_count, file_text);
  PassageSpan span;
  while (cutter.next(span)) {
    const bool selected = conditions.selected(file_text, span, workspace.line_buffer);
    ResultSink& destination = selected ? selection_file : rest_file;
    const std::uint64_t run_count = selected ? ++selected_total : ++rest_total;
    const std::uint64_t count_in_file = selected ? ++selected_in_file : ++rest_in_file;
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
    if (!path.empty()) destination.append(path);
    at = put(heading, "\r\n");
    at = put_decimal(at, count_in_file);
    at = put(at, "\r\n");
    destination.append(std::string_view(heading, static_cast<std::size_t>(at - heading)));
    emit_passage_text(file_text, span,
                      [&destination](std::string_view piece) { destination.append(piece); });
  }
}

}  // namespace korvidan::passages
