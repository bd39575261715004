#include <cstring>

#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

#if KORVIDAN_X86_64
__attribute__((target("avx2"), always_inline)) inline std::uint64_t line_feeds_at(const char* at) {
  const __m256i line_feed = _mm256_set1_epi8('\n');
  const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), line_feed)));
  const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32)), line_feed)));
  return std::uint64_t{high} << 32 | low;
}

// Steps of 64 from `from` while they fit, up to the first step with an LF: its start and
// LFs go to `block` and `line_feeds`, and the answer is true. `from` ends where the steps
// stopped.
__attribute__((target("avx2"))) bool scan_avx2(const char* data, std::size_t size,
                                               std::size_t& from, std::size_t& block,
                                               std::uint64_t& line_feeds) {
  for (; from < size && size - from >= 64; from += 64) {
    const std::uint64_t found = line_feeds_at(data + from);
    if (found != 0) {
      block = from;
      line_feeds = found;
      return true;
    }
  }
  return false;
}
// The same with one compare a step.
__attribute__((target("avx2,avx512f,avx512bw"))) bool scan_avx512(const char* data,
                                                                  std::size_t size,
                                                                  std::size_t& from,
                                                                  std::size_t& block,
                                                                  std::uint64_t& line_feeds) {
  const __m512i line_feed = _mm512_set1_epi8('\n');
  for (; from < size && size - from >= 64; from += 64) {
    const std::uint64_t found = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(data + from), line_feed);
    if (found != 0) {
      block = from;
      line_feeds = found;
      return true;
    }
  }
  return false;
}
#endif

}  // namespace

std::size_t LineFeedScanner::scan(std::string_view text, std::size_t from) {
  const std::size_t size = text.size();
#if KORVIDAN_X86_64
  if (use_avx2()) {
    if (use_avx512() ? scan_avx512(text.data(), size, from, block_, line_feeds_)
                     : scan_avx2(text.data(), size, from, block_, line_feeds_))
      return from + static_cast<std::size_t>(__builtin_ctzll(line_feeds_));
  }
#endif
  // The last bytes, fewer than a step, are searched plainly and not kept.
  reset();
  if (from >= size) return size;
  const void* found = std::memchr(text.data() + from, '\n', size - from);
  return found == nullptr ? size
                          : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

}  // namespace korvidan::text
