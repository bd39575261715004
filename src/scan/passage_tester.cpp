#include "scan/passage_tester.hpp"

#include <algorithm>

#include "scan/scan.hpp"

namespace korvidan::scan {

void test_passages(std::string_view text, TestedText& tested, std::size_t from, std::size_t to,
                   const conditions::ConditionMatcher& conditions, TestScratch& scratch) {
  if (from >= to) return;
  scratch.ends.clear();
  for (std::size_t i = from; i < to; ++i) scratch.ends.push_back(tested.passages[i].span.end);
  if (scratch.answer_room < to - from) {
    scratch.answer_room = std::max(to - from, 2 * scratch.answer_room);
    scratch.answers = std::make_unique<bool[]>(scratch.answer_room);
  }
  conditions.select(text, tested.passages[from].span.begin, scratch.ends,
                    tested.passages[to - 1].span.unterminated, scratch.answers.get(), scratch.text);
  for (std::size_t i = from; i < to; ++i) tested.passages[i].selected = scratch.answers[i - from];
}

namespace {

// Whether another cutter can begin at the passage: all do but a file's first, which may
// be empty or begin with empty lines.
bool begins_with_a_line(std::string_view text, const passages::PassageSpan& span) {
  if (span.begin == span.end) return false;
  const char first = text[span.begin];
  return first != '\n' &&
         !(first == '\r' && span.begin + 1 < text.size() && text[span.begin + 1] == '\n');
}

}  // namespace

std::size_t PassageTester::test(std::string_view text, bool end_of_file, TestedText& tested,
                                const TestLimits& limits) {
  cutter_.start(text, end_of_file);
  return cut_and_test(text, end_of_file, tested, limits);
}

void PassageTester::test_range(std::string_view text, std::size_t begin, std::uint64_t first_line,
                               TestedText& tested, const TestLimits& limits) {
  cutter_.resume(text, begin, first_line, true);
  cut_and_test(text, true, tested, limits);
}

std::size_t PassageTester::cut_and_test(std::string_view text, bool end_of_file, TestedText& tested,
                                        const TestLimits& limits) {
  // Tested together a few KiB at a time, while their bytes are in the cache: passages
  // [pending, testable) are cut, not tested yet.
  constexpr std::size_t batch_bytes = std::size_t{16} << 10;
  std::size_t pending = tested.passages.size();
  std::size_t testable = pending;
  const auto test_pending = [&] {
    test_passages(text, tested, pending, testable, conditions_, batch_);
    pending = testable;
  };
  std::size_t count = 0;
  const auto take = [&](const passages::PassageSpan& span, const text::LineRegion& lines) {
    // Passages from the `test_count`-th on, or beginning at `test_from` or later, are
    // left for another thread, not cut here: the last one that the text completes is
    // found from its end, and the cutter goes on from there.
    if ((++count > limits.test_count || span.begin >= limits.test_from) &&
        begins_with_a_line(text, span)) {
      tested.rest_begin = span.begin;
      tested.rest_first_line = span.first_line;
      if (end_of_file) {
        tested.rest_end = text.size();
        return false;
      }
      const std::size_t end = cutter_.last_passage_begin(text, span.end);
      tested.rest_end = end;
      cutter_.resume(
          text, end,
          span.last_line + 1 + text::count_line_feeds(text.substr(span.end, end - span.end)),
          false);
      passages::PassageSpan none;
      cutter_.next_inlined(none);  // the lines of the unfinished passage
      return false;
    }
    // Mostly one or none: a call to copy them cost more than the copy.
    for (const std::size_t line_feed : lines.bare_line_feeds) {
      tested.bare_line_feeds.push_back(line_feed);
    }
    tested.passages.push_back({span, tested.bare_line_feeds.size(), false});
    testable = tested.passages.size();
    if (span.end - tested.passages[pending].span.begin >= batch_bytes) test_pending();
    return !limits.reached(tested);
  };
  // As test_each cuts, the cutter inlined here.
  passages::PassageSpan span;
  bool stopped = false;
  while (!stopped && cutter_.next_inlined(span)) stopped = !take(span, cutter_.lines(span));
  test_pending();
  if (tested.has_rest()) return tested.rest_end;
  return end_of_file && !stopped ? text.size() : cutter_.consumed();
}

void write_tested(std::string_view text, const TestedText& tested, PassageTester& rest_tester,
                  results::ResultFiles& results) {
  for (std::size_t i = 0; i < tested.passages.size() && !results.stopped(); ++i) {
    const TestedPassage& passage = tested.passages[i];
    results.write_passage(passage.selected, tested.lines(text, i), passage.span.first_line,
                          passage.span.last_line);
  }
  if (!tested.has_rest() || results.stopped()) return;
  rest_tester.test_rest(text.substr(tested.rest_begin, tested.rest_end - tested.rest_begin),
                        tested.rest_first_line,
                        [&results](const passages::PassageSpan& span, const text::LineRegion& lines,
                                   bool, bool selected) {
                          results.write_passage(selected, lines, span.first_line, span.last_line);
                          return !results.stopped();
                        });
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
