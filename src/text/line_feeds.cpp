#include <algorithm>
#include <cstring>

#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

#if KORVIDAN_X86_64
// The LFs of `steps` 64-byte steps from `at`, a word a step.
__attribute__((target("avx2"))) void line_feeds_avx2(const char* at, std::size_t steps,
                                                     std::uint64_t* words) {
  const __m256i line_feed = _mm256_set1_epi8('\n');
  for (std::size_t i = 0; i < steps; ++i, at += 64) {
    const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), line_feed)));
    const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32)), line_feed)));
    words[i] = std::uint64_t{high} << 32 | low;
  }
}

__attribute__((target("avx2,avx512f,avx512bw"))) void line_feeds_avx512(const char* at,
                                                                        std::size_t steps,
                                                                        std::uint64_t* words) {
  const __m512i line_feed = _mm512_set1_epi8('\n');
  for (std::size_t i = 0; i < steps; ++i, at += 64) {
    words[i] = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(at), line_feed);
  }
}

__attribute__((target("avx2,popcnt"))) std::size_t count_avx2(const char* at, std::size_t steps) {
  const __m256i line_feed = _mm256_set1_epi8('\n');
  std::size_t count = 0;
  for (std::size_t i = 0; i < steps; ++i, at += 32) {
    count += static_cast<std::size_t>(__builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), line_feed)))));
  }
  return count;
}
#endif

}  // namespace

std::size_t count_line_feeds(std::string_view text) {
  std::size_t count = 0;
  std::size_t at = 0;
#if KORVIDAN_X86_64
  if (use_avx2()) {
    count = count_avx2(text.data(), text.size() / 32);
    at = text.size() / 32 * 32;
  }
#endif
  return count + static_cast<std::size_t>(std::count(text.begin() + at, text.end(), '\n'));
}

bool LineFeedScanner::keep(std::string_view text, std::size_t from) {
#if KORVIDAN_X86_64
  if (!use_avx2()) return false;
  const std::size_t size = std::min(text.size() - from, kept_words * 64);
  const std::size_t steps = size / 64;
  (use_avx512() ? line_feeds_avx512 : line_feeds_avx2)(text.data() + from, steps, words_);
  // The last bytes, fewer than a step, one by one.
  if (size % 64 != 0) {
    std::uint64_t last = 0;
    const char* rest = text.data() + from + steps * 64;
    for (std::size_t i = 0; i < size % 64; ++i) last |= std::uint64_t{rest[i] == '\n'} << i;
    words_[steps] = last;
  }
  const std::size_t words = (size + 63) / 64;
  filled_ = 0;
  for (std::size_t i = 0; i < words; ++i) filled_ |= std::uint64_t{words_[i] != 0} << i;
  base_ = from;
  kept_ = size;
  return true;
#else
  (void)text;
  (void)from;
  return false;
#endif
}

std::size_t LineFeedScanner::search(std::string_view text, std::size_t from) {
  const void* found = std::memchr(text.data() + from, '\n', text.size() - from);
  return found == nullptr ? text.size()
                          : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

}  // namespace korvidan::text
