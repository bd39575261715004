#include "scan/passage_tester.hpp"

#include "scan/scan.hpp"

namespace korvidan::scan {

std::size_t PassageTester::test(std::string_view text, bool end_of_file, TestedText& tested,
                                const TestLimits& limits) {
  return test_each(
      text, end_of_file,
      [&tested, &limits](const passages::PassageSpan& span, const text::LineRegion& lines,
                         bool was_tested, bool selected) {
        if (was_tested) ++tested.tested;
        tested.bare_line_feeds.insert(tested.bare_line_feeds.end(), lines.bare_line_feeds.begin(),
                                      lines.bare_line_feeds.end());
        tested.passages.push_back({span, tested.bare_line_feeds.size(), selected});
        return !limits.reached(tested);
      },
      limits.test_from, limits.test_count);
}

void test_rest(std::string_view text, TestedText& tested,
               const conditions::ConditionMatcher& conditions, std::string& scratch) {
  for (std::size_t i = tested.tested; i < tested.passages.size(); ++i) {
    TestedPassage& passage = tested.passages[i];
    passage.selected =
        conditions.selected(tested.lines(text, i), text.size() - passage.span.end, scratch);
  }
  tested.tested = tested.passages.size();
}

void write_tested(std::string_view text, const TestedText& tested, results::ResultFiles& results) {
  for (std::size_t i = 0; i < tested.passages.size() && !results.stopped(); ++i) {
    const TestedPassage& passage = tested.passages[i];
    results.write_passage(passage.selected, tested.lines(text, i), passage.span.first_line,
                          passage.span.last_line);
  }
}

PassageStream::PassageStream(std::int32_t break_count,
                             const conditions::ConditionMatcher& conditions,
                             results::ResultFiles& results)
    : results_(results), tester_(break_count, conditions) {}

void PassageStream::start_file() { tester_.start_file(); }

std::size_t PassageStream::feed(std::string_view text, bool end_of_file) {
  return tester_.test_each(text, end_of_file,
                           [this](const passages::PassageSpan& span, const text::LineRegion& lines,
                                  bool, bool selected) {
                             results_.write_passage(selected, lines, span.first_line,
                                                    span.last_line);
                             return !results_.stopped();
                           });
}

namespace {

void process_file(std::int32_t break_count, const conditions::ConditionMatcher& conditions,
                  std::string_view file_text, results::ResultFiles& results) {
  PassageStream(break_count, conditions, results).feed(file_text, true);
}

}  // namespace

void process_file_text_only(std::int32_t break_count,
                            const conditions::ConditionMatcher& conditions,
                            std::string_view file_text, results::ResultFiles& results) {
  process_file(break_count, conditions, file_text, results);
}

void process_file_indexed(std::int32_t break_count, const conditions::ConditionMatcher& conditions,
                          std::string_view file_text, results::ResultFiles& results) {
  process_file(break_count, conditions, file_text, results);
}

}  // namespace korvidan::scan
