// Cutting a file's text into passages and testing them, apart from the result files, so
// that the testing stage can do it on a thread of its own; and the whole-text path that
// writes them at once (`PassageStream`). Internal to the scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conditions/conditions.hpp"
#include "passages/passages.hpp"
#include "results/results.hpp"
#include "text/text.hpp"

namespace korvidan::scan {

// The passages a text completes, cut and tested, waiting to be written: each with its
// place in the text and, in `bare_line_feeds`, the LFs it has to write with a CR added
// (those of passage i end at its `bare_end`, and begin where passage i - 1's end). The
// passages after them, from `rest_begin` to `rest_end` (first line `rest_first_line`),
// were left to the writing side to cut and test as it writes them: listing each passage
// for another thread cost more than testing one-line passages. Where workers test the
// passages, a worker lists them as this stage does, and leaves a rest only past 16,384.
struct TestedPassage {
  passages::PassageSpan span;
  std::size_t bare_end = 0;
  bool selected = false;
};
struct TestedText {
  std::vector<TestedPassage> passages;
  std::vector<std::size_t> bare_line_feeds;
  std::size_t rest_begin = 0;
  std::size_t rest_end = 0;
  std::uint64_t rest_first_line = 0;
  // The lines of passage `i` of `text`, as the result files hold them.
  text::LineRegion lines(std::string_view text, std::size_t i) const {
    const passages::PassageSpan& span = passages[i].span;
    const std::size_t bare_begin = i == 0 ? 0 : passages[i - 1].bare_end;
    return {text,
            span.begin,
            span.end,
            {bare_line_feeds.data() + bare_begin, passages[i].bare_end - bare_begin},
            span.unterminated,
            !span.unlisted};
  }
  bool has_rest() const { return rest_end > rest_begin; }
  void clear() {
    passages.clear();
    bare_line_feeds.clear();
    rest_begin = rest_end = 0;
  }
};

// How much of a text one call of `PassageTester::test` takes on: passages from the `test_count`-th
// on, or beginning at `test_from` or later, are cut only, and left as the rest; the call stops
// after the passage that brings the list to `max_passages` passages or `max_line_feeds` bare LFs.
struct TestLimits {
  std::size_t test_from = SIZE_MAX;
  std::size_t test_count = SIZE_MAX;
  std::size_t max_passages = SIZE_MAX;
  std::size_t max_line_feeds = SIZE_MAX;
  bool reached(const TestedText& tested) const {
    return tested.passages.size() >= max_passages ||
           tested.bare_line_feeds.size() >= max_line_feeds;
  }
};

// What testing a list of passages at once works in, reused: the passages' ends, the
// answers, and the CR LF text of a last line without LF.
struct TestScratch {
  std::vector<std::size_t> ends;
  std::unique_ptr<bool[]> answers;
  std::size_t answer_room = 0;
  std::string text;
};

// Tests passages [from, to) of `tested` at once.
void test_passages(std::string_view text, TestedText& tested, std::size_t from, std::size_t to,
                   const conditions::ConditionMatcher& conditions, TestScratch& scratch);

// Cuts a file's text into passages and tests each one, knowing nothing of the result
// files, so that it can run on a thread of its own.
class PassageTester {
 public:
  PassageTester(std::int32_t break_count, const conditions::ConditionMatcher& conditions)
      : conditions_(conditions), cutter_(break_count) {}
  void start_file() { cutter_.reset(); }
  // Hands each passage that `text` completes, with its lines, whether it was tested and
  // whether it is selected, to `take` and returns how many of the text's leading bytes are done
  // with: the next call's text must begin with the rest. At the end of the file, every passage is
  // completed. `take` returns false to stop early: the text is then done with up to the
  // passages handed over. Passages from the `test_count`-th on, or beginning at
  // `test_from` or later, are cut only (and handed on as not selected).
  template <class Take>
  std::size_t test_each(std::string_view text, bool end_of_file, Take&& take,
                        std::size_t test_from = SIZE_MAX, std::size_t test_count = SIZE_MAX) {
    cutter_.start(text, end_of_file);
    passages::PassageSpan span;
    for (std::size_t count = 0; cutter_.next(span); ++count) {
      const text::LineRegion lines = cutter_.lines(span);
      const bool tested = count < test_count && span.begin < test_from;
      const bool selected = tested && conditions_.selected(lines, text.size() - span.end, scratch_);
      if (!take(span, lines, tested, selected)) return cutter_.consumed();
    }
    return end_of_file ? text.size() : cutter_.consumed();
  }
  // The same, the passages appended to `tested` (which starts empty), cut and then tested
  // a few KiB at a time, but for the rest (`limits`).
  std::size_t test(std::string_view text, bool end_of_file, TestedText& tested,
                   const TestLimits& limits = {});
  // The same for the passages of a range, from `begin` (where a passage begins, with line
  // `first_line`) to the end of `text`, where one ends; appended to `tested` as they come.
  void test_range(std::string_view text, std::size_t begin, std::uint64_t first_line,
                  TestedText& tested, const TestLimits& limits);
  // The passages of a rest, `text` (a passage begins at its front, with line `first_line`),
  // cut and tested, to `take` as `test_each` hands them.
  template <class Take>
  void test_rest(std::string_view text, std::uint64_t first_line, Take&& take) {
    cutter_.resume(text, 0, first_line, true);
    passages::PassageSpan span;
    while (cutter_.next(span)) {
      const text::LineRegion lines = cutter_.lines(span);
      if (!take(span, lines, true, conditions_.selected(lines, text.size() - span.end, scratch_)))
        return;
    }
  }
  const conditions::ConditionMatcher& conditions() const { return conditions_; }

 private:
  // `test` and `test_range` once the cutter has begun.
  std::size_t cut_and_test(std::string_view text, bool end_of_file, TestedText& tested,
                           const TestLimits& limits);

  const conditions::ConditionMatcher& conditions_;
  passages::PassageCutter cutter_;
  std::string scratch_;
  TestScratch batch_;
};

// Hands the tested passages of `text` to the results stage, in order, and then the rest,
// cut and tested by `rest_tester` (another thread's tester than the one that made the
// list); stops once it has stopped.
void write_tested(std::string_view text, const TestedText& tested, PassageTester& rest_tester,
                  results::ResultFiles& results);

// One file's passages cut, tested and handed to the results stage as its text comes in,
// on the calling thread: the reference a run's stages are held to (`process_file_*` and
// the tests). `start_file` readies it for the next file.
class PassageStream {
 public:
  PassageStream(std::int32_t break_count, const conditions::ConditionMatcher& conditions,
                results::ResultFiles& results);
  void start_file();
  PassageTester& tester() { return tester_; }
  // Hands over the passages that `text` completes and returns how many of its leading
  // bytes are done with: the next call's text must begin with the rest. At the end of the
  // file, every passage is handed over. Stops after the passage that stopped the results
  // stage, with the bytes up to it done with.
  std::size_t feed(std::string_view text, bool end_of_file);

 private:
  results::ResultFiles& results_;
  PassageTester tester_;
};

}  // namespace korvidan::scan
