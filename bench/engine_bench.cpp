// Throughput of the passage engine on generated Japanese prose: UTF-8 check, cutting,
// matching and form S / form I output into a sink that only counts. Run:
//   cmake --preset bench && cmake --build --preset bench && build/bench/korvidan_bench
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "conditions/conditions.hpp"
#include "passages/passages.hpp"
#include "prose.hpp"
#include "results/results.hpp"
#include "scan/scan.hpp"
#include "text/text.hpp"
#include "words.hpp"

namespace {

using namespace korvidan;
using korvidan::bench::generate_prose;

std::string typical_query() {
  return "京都\n大阪\n北海道\n+++\n冬\n春\n夏\n秋\n+++\n電車\n食堂\n駅\n";
}

std::string many_keywords() {
  std::string query;
  for (int group = 0; group < 2; ++group) {
    for (int i = 0; i < 200; ++i) query += "語彙" + std::to_string(group * 1000 + i) + "番\n";
    query += group == 0 ? "京都\n+++\n" : "冬\n";
  }
  return query;
}

std::mt19937& random_for(unsigned seed) {
  static std::mt19937 random;
  random.seed(seed);
  return random;
}

// A result file that counts the bytes written to it instead of keeping them.
struct CountingTarget final : results::ResultTarget {
  std::size_t bytes = 0;
  platform::Written write(std::string_view more) override {
    bytes += more.size();
    return {more.size(), std::nullopt};
  }
  platform::Status truncate(std::uint64_t size) override {
    bytes = size;
    return platform::success();
  }
};

const std::string& big_text() {
  static const std::string text = generate_prose(64 << 20, false, false, false, random_for(7));
  return text;
}
const std::string& tiny_passages() {
  static const std::string text = generate_prose(32 << 20, true, false, true, random_for(11));
  return text;
}

void set_bytes(benchmark::State& state, std::size_t size) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void utf8_check(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(text::is_valid_utf8(big_text()));
  set_bytes(state, big_text().size());
}

void cut(benchmark::State& state) {
  for (auto _ : state) {
    passages::PassageCutter cutter(2, big_text());
    passages::PassageSpan span;
    std::size_t count = 0;
    while (cutter.next(span)) ++count;
    benchmark::DoNotOptimize(count);
  }
  set_bytes(state, big_text().size());
}

void form(benchmark::State& state, const std::string& text, const std::string& query,
          bool indexed) {
  const conditions::ConditionMatcher conditions(query);
  for (auto _ : state) {
    CountingTarget selection;
    CountingTarget rest;
    results::ResultFiles files(selection, rest, indexed);
    files.begin_file("d/a.txt");
    scan::process_file_text_only(2, conditions, text, files);
    (void)files.finish();
    benchmark::DoNotOptimize(selection.bytes + rest.bytes);
  }
  set_bytes(state, text.size());
}

void form_s_typical(benchmark::State& state) { form(state, big_text(), typical_query(), false); }
void form_i_typical(benchmark::State& state) { form(state, big_text(), typical_query(), true); }
void form_s_400_keywords(benchmark::State& state) {
  form(state, big_text(), many_keywords(), false);
}
// Two groups of the corpus's own terms, state.range(0) keywords in all.
std::string terms(const benchmark::State& state) {
  return korvidan::bench::keyword_list(2, static_cast<std::size_t>(state.range(0)) / 2, 15);
}
// The keyword counts the term benchmarks run with.
void keyword_counts(benchmark::internal::Benchmark* benchmark) {
  for (const int keywords : {10, 100, 400, 1000, 5000}) benchmark->Arg(keywords);
}

// Form S with the terms as the condition file.
void form_s_terms(benchmark::State& state) { form(state, big_text(), terms(state), false); }
// Matching alone, on the passages of 4 MB of prose cut once (the text stays in the cache):
// two groups of the corpus's own terms, state.range(0) keywords in all, or the typical
// query for 0.
void match_terms(benchmark::State& state) {
  static const std::string text = generate_prose(4 << 20, false, false, false, random_for(7));
  static const std::vector<text::LineRegion> passages = [] {
    std::vector<text::LineRegion> regions;
    passages::PassageCutter cutter(2, text);
    passages::PassageSpan span;
    while (cutter.next(span)) regions.push_back({text, span.begin, span.end, {}, false});
    return regions;
  }();
  const std::string query = state.range(0) == 0 ? typical_query() : terms(state);
  const conditions::ConditionMatcher matcher(query);
  std::string scratch;
  for (auto _ : state) {
    std::size_t selected = 0;
    for (const text::LineRegion& passage : passages) {
      selected += matcher.selected(passage, text.size() - passage.end, scratch);
    }
    benchmark::DoNotOptimize(selected);
  }
  set_bytes(state, text.size());
}
// Preparing two groups of the corpus's own terms, state.range(0) keywords in all.
void prepare_terms(benchmark::State& state) {
  const std::string list = terms(state);
  for (auto _ : state) {
    const conditions::ConditionMatcher matcher(list);
    benchmark::DoNotOptimize(&matcher);
  }
}
// Preparing one group of 100,000 dictionary words.
void prepare_dictionary(benchmark::State& state) {
  std::mt19937 random(1210);
  std::string list;
  for (const std::string& word : korvidan::bench::dictionary(100000, random)) list += word + "\n";
  for (auto _ : state) {
    const conditions::ConditionMatcher matcher(list);
    benchmark::DoNotOptimize(&matcher);
  }
}
void form_s_one_line_passages(benchmark::State& state) {
  form(state, tiny_passages(), typical_query(), false);
}
void form_i_one_line_passages(benchmark::State& state) {
  form(state, tiny_passages(), typical_query(), true);
}

}  // namespace

BENCHMARK(utf8_check)->Unit(benchmark::kMillisecond);
BENCHMARK(cut)->Unit(benchmark::kMillisecond);
BENCHMARK(form_s_typical)->Unit(benchmark::kMillisecond);
BENCHMARK(form_i_typical)->Unit(benchmark::kMillisecond);
BENCHMARK(form_s_400_keywords)->Unit(benchmark::kMillisecond);
BENCHMARK(form_s_terms)->Apply(keyword_counts)->Unit(benchmark::kMillisecond);
BENCHMARK(match_terms)->Arg(0)->Apply(keyword_counts)->Unit(benchmark::kMillisecond);
BENCHMARK(prepare_terms)->Arg(400)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(prepare_dictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(form_s_one_line_passages)->Unit(benchmark::kMillisecond);
BENCHMARK(form_i_one_line_passages)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
