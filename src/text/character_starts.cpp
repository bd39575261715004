#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

#if KORVIDAN_X86_64
// As signed bytes, continuation bytes (0x80 to 0xBF) are the ones below -64.
__attribute__((target("avx2"), always_inline)) inline std::uint32_t starts_in_32(const char* at) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpgt_epi8(bytes, _mm256_set1_epi8(-65))));
}

__attribute__((target("avx2"))) std::uint64_t character_starts_avx2(const char* at) {
  return std::uint64_t{starts_in_32(at + 32)} << 32 | starts_in_32(at);
}
#endif

}  // namespace

std::uint64_t character_starts(const char* at) {
#if KORVIDAN_X86_64
  if (use_avx2()) return character_starts_avx2(at);
#endif
  std::uint64_t starts = 0;
  for (unsigned i = 0; i < 64; ++i) {
    if ((static_cast<unsigned char>(at[i]) & 0xC0) != 0x80) starts |= std::uint64_t{1} << i;
  }
  return starts;
}

}  // namespace korvidan::text
