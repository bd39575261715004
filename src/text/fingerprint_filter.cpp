// Candidate positions for many strings of Japanese text at once, in the manner of a Teddy
// filter: the strings are spread over 8 buckets, and each of four fingerprint bytes looks
// up, by its low six bits, which buckets hold a string with that value there. A position
// is a candidate where some bucket holds all four; 32 positions are looked up at once with
// byte shuffles where the processor can.
#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

// The fingerprint bytes: the last two bytes of each of two three-byte characters.
constexpr unsigned offsets[4] = {1, 2, 4, 5};

#if KORVIDAN_X86_64
// The buckets of 32 positions' bytes by their low six bits: four 16-entry shuffles, chosen
// by bits 4 and 5.
__attribute__((target("avx2"), always_inline)) inline __m256i buckets_of(const __m256i* tables,
                                                                         __m256i bytes) {
  const __m256i low = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0F));
  const __m256i bit4 = _mm256_slli_epi16(bytes, 3);  // bit 4 of each byte at its bit 7
  const __m256i bit5 = _mm256_slli_epi16(bytes, 2);
  const __m256i even = _mm256_blendv_epi8(_mm256_shuffle_epi8(tables[0], low),
                                          _mm256_shuffle_epi8(tables[1], low), bit4);
  const __m256i odd = _mm256_blendv_epi8(_mm256_shuffle_epi8(tables[2], low),
                                         _mm256_shuffle_epi8(tables[3], low), bit4);
  return _mm256_blendv_epi8(even, odd, bit5);
}

__attribute__((target("avx2"), always_inline)) inline std::uint32_t candidates_in_32(
    const __m256i (*tables)[4], const char* at) {
  __m256i all = _mm256_set1_epi8(-1);
  for (unsigned k = 0; k < 4; ++k) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + offsets[k]));
    all = _mm256_and_si256(all, buckets_of(tables[k], bytes));
  }
  const __m256i none = _mm256_cmpeq_epi8(all, _mm256_setzero_si256());
  return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
}

// As signed bytes, continuation bytes (0x80 to 0xBF) are the ones below -64.
__attribute__((target("avx2"), always_inline)) inline std::uint32_t starts(const char* from) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)), _mm256_set1_epi8(-65))));
}

__attribute__((target("avx2"))) void candidates_avx2(const std::uint8_t (&buckets)[4][64],
                                                     const char* at, std::size_t blocks,
                                                     std::uint64_t* found) {
  __m256i tables[4][4];
  for (unsigned k = 0; k < 4; ++k) {
    for (unsigned t = 0; t < 4; ++t) {
      tables[k][t] = _mm256_broadcastsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(&buckets[k][16 * t])));
    }
  }
  for (std::size_t block = 0; block < blocks; ++block) {
    const char* const from = at + 64 * block;
    const std::uint32_t low = candidates_in_32(tables, from) & starts(from);
    const std::uint32_t high = candidates_in_32(tables, from + 32) & starts(from + 32);
    found[block] = std::uint64_t{high} << 32 | low;
  }
}
#endif

}  // namespace

FingerprintFilter::FingerprintFilter(const std::vector<std::string_view>& strings) {
  for (const std::string_view string : strings) {
    // Strings whose first characters end in nearby bytes share a bucket, so that the
    // buckets' byte sets stay small.
    const unsigned bucket = (static_cast<unsigned char>(string[2]) & 0x3F) / 8;
    for (unsigned k = 0; k < 4; ++k) {
      buckets_[k][static_cast<unsigned char>(string[offsets[k]]) & 0x3F] |=
          static_cast<std::uint8_t>(1U << bucket);
    }
  }
}

double FingerprintFilter::pass_rate() const {
  double rate = 0;
  for (unsigned bucket = 0; bucket < 8; ++bucket) {
    double bucket_rate = 1;
    for (const auto& table : buckets_) {
      unsigned values = 0;
      for (const std::uint8_t buckets : table) values += (buckets >> bucket) & 1U;
      bucket_rate *= values / 64.0;
    }
    rate += bucket_rate;
  }
  return rate;
}

void FingerprintFilter::candidate_starts(const char* at, std::size_t blocks,
                                         std::uint64_t* found) const {
#if KORVIDAN_X86_64
  if (use_avx2()) {
    candidates_avx2(buckets_, at, blocks, found);
    return;
  }
#endif
  for (std::size_t block = 0; block < blocks; ++block) {
    const char* const from = at + 64 * block;
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 64; ++i) {
      unsigned all = (static_cast<unsigned char>(from[i]) & 0xC0) == 0x80 ? 0 : 0xFF;
      for (unsigned k = 0; k < 4; ++k) {
        all &= buckets_[k][static_cast<unsigned char>(from[i + offsets[k]]) & 0x3F];
      }
      if (all != 0) bits |= std::uint64_t{1} << i;
    }
    found[block] = bits;
  }
}

}  // namespace korvidan::text
