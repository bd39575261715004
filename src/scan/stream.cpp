#include "scan/scan.hpp"

namespace korvidan::scan {

PassageStream::PassageStream(std::int32_t break_count,
                             const conditions::ConditionMatcher& conditions,
                             results::ResultFiles& results)
    : conditions_(conditions), results_(results), cutter_(break_count) {}

void PassageStream::start_file() { cutter_.reset(); }

std::size_t PassageStream::feed(std::string_view text, bool end_of_file) {
  cutter_.start(text, end_of_file);
  passages::PassageSpan span;
  while (cutter_.next(span)) {
    const text::LineRegion lines = cutter_.lines(span);
    const bool selected = conditions_.selected(lines, text.size() - span.end, scratch_);
    results_.write_passage(selected, lines, span.first_line, span.last_line);
    if (results_.stopped()) return text.size();
  }
  return end_of_file ? text.size() : cutter_.consumed();
}

void process_file_text_only(std::int32_t break_count,
                            const conditions::ConditionMatcher& conditions,
                            std::string_view file_text, results::ResultFiles& results) {
  PassageStream(break_count, conditions, results).feed(file_text, true);
}

void process_file_indexed(std::int32_t break_count, const conditions::ConditionMatcher& conditions,
                          std::string_view file_text, results::ResultFiles& results) {
  process_file_text_only(break_count, conditions, file_text, results);
}

}  // namespace korvidan::scan
