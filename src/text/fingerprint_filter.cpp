// Candidate positions for many strings of Japanese text at once, in the manner of a Teddy
// filter: the strings are spread over buckets, and each fingerprint byte looks up, by its
// low six bits, which buckets hold a string with that value there. A position is a
// candidate where some bucket holds all six; 64 positions are looked up at once with byte
// permutes, or 32 with byte shuffles, where the processor can.
#include <algorithm>

#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

// The fingerprint bytes: the last two bytes of each of three three-byte characters.
constexpr unsigned offsets[FingerprintFilter::fingerprint_bytes] = {1, 2, 4, 5, 7, 8};
// A string of at most this many bytes lacks the last fingerprint byte.
constexpr std::size_t short_string = offsets[FingerprintFilter::fingerprint_bytes - 1];

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
#pragma GCC unroll 6
  for (unsigned k = 0; k < FingerprintFilter::fingerprint_bytes; ++k) {
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

// Eight buckets: the first table only.
__attribute__((target("avx2"))) void candidates_avx2(const FingerprintFilter::Tables& tables,
                                                     const char* at, std::size_t blocks,
                                                     std::uint64_t* found) {
  __m256i shuffles[FingerprintFilter::fingerprint_bytes][4];
  for (unsigned k = 0; k < FingerprintFilter::fingerprint_bytes; ++k) {
    for (unsigned t = 0; t < 4; ++t) {
      shuffles[k][t] = _mm256_broadcastsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(&tables[0][k][16 * t])));
    }
  }
  for (std::size_t block = 0; block < blocks; ++block) {
    const char* const from = at + 64 * block;
    const std::uint32_t low = candidates_in_32(shuffles, from) & starts(from);
    const std::uint32_t high = candidates_in_32(shuffles, from + 32) & starts(from + 32);
    found[block] = std::uint64_t{high} << 32 | low;
  }
}

// Sixteen buckets in two tables; a permute looks a byte's low six bits up in 64 entries.
__attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"))) void candidates_avx512(
    const FingerprintFilter::Tables& tables, const char* at, std::size_t blocks,
    std::uint64_t* found) {
  __m512i first[FingerprintFilter::fingerprint_bytes];
  __m512i second[FingerprintFilter::fingerprint_bytes];
  for (unsigned k = 0; k < FingerprintFilter::fingerprint_bytes; ++k) {
    first[k] = _mm512_loadu_si512(tables[0][k]);
    second[k] = _mm512_loadu_si512(tables[1][k]);
  }
  const __mmask64 every = ~__mmask64{0};
  for (std::size_t block = 0; block < blocks; ++block) {
    const char* const from = at + 64 * block;
    __m512i low = _mm512_set1_epi8(-1);
    __m512i high = low;
    // Unrolled at every optimization level, so that the tables stay in registers.
#pragma GCC unroll 6
    for (unsigned k = 0; k < FingerprintFilter::fingerprint_bytes; ++k) {
      const __m512i bytes = _mm512_loadu_si512(from + offsets[k]);
      // The masked form: the unmasked one trips GCC's uninitialized-use warning.
      low = _mm512_and_si512(low, _mm512_maskz_permutexvar_epi8(every, bytes, first[k]));
      high = _mm512_and_si512(high, _mm512_maskz_permutexvar_epi8(every, bytes, second[k]));
    }
    const __mmask64 starts =
        _mm512_cmpgt_epi8_mask(_mm512_loadu_si512(from), _mm512_set1_epi8(-65));
    found[block] = (_mm512_test_epi8_mask(low, low) | _mm512_test_epi8_mask(high, high)) & starts;
  }
}
#endif

}  // namespace

FingerprintFilter::FingerprintFilter(const std::vector<std::string_view>& strings)
    : buckets_(use_avx512() ? 16 : 8) {
  // A string shorter than a fingerprint byte's offset has every value there: those strings
  // get buckets of their own, so that they widen no others.
  std::size_t short_count = 0;
  for (const std::string_view string : strings) short_count += string.size() <= short_string;
  if (short_count == strings.size()) {
    short_buckets_ = buckets_;
  } else if (short_count > 0) {
    short_buckets_ = static_cast<unsigned>(std::clamp<std::size_t>(
        (buckets_ * short_count + strings.size() / 2) / strings.size(), 1, buckets_ - 1));
  }
  for (const std::string_view string : strings) {
    const unsigned bucket = bucket_of(string);
    const auto bit = static_cast<std::uint8_t>(1U << bucket % 8);
    for (unsigned k = 0; k < fingerprint_bytes; ++k) {
      std::uint8_t(&table)[64] = tables_[bucket / 8][k];
      if (string.size() > offsets[k]) {
        table[static_cast<unsigned char>(string[offsets[k]]) & 0x3F] |= bit;
      } else {
        for (std::uint8_t& buckets : table) buckets |= bit;
      }
    }
  }
}

unsigned FingerprintFilter::bucket_of(std::string_view string) const {
  // Strings whose first characters end in nearby bytes share a bucket, so that the
  // buckets' byte sets stay small.
  const unsigned near = static_cast<unsigned char>(string[2]) & 0x3F;
  if (string.size() <= short_string) return buckets_ - short_buckets_ + near * short_buckets_ / 64;
  return near * (buckets_ - short_buckets_) / 64;
}

double FingerprintFilter::pass_rate() const {
  double rate = 0;
  for (unsigned bucket = 0; bucket < buckets_; ++bucket) {
    double bucket_rate = 1;
    for (const auto& table : tables_[bucket / 8]) {
      unsigned values = 0;
      for (const std::uint8_t buckets : table) values += (buckets >> bucket % 8) & 1U;
      bucket_rate *= values / 64.0;
    }
    rate += bucket_rate;
  }
  return rate;
}

void FingerprintFilter::candidate_starts(const char* at, std::size_t blocks,
                                         std::uint64_t* found) const {
#if KORVIDAN_X86_64
  if (buckets_ == 16 && use_avx512()) {
    candidates_avx512(tables_, at, blocks, found);
    return;
  }
  if (buckets_ == 8 && use_avx2()) {
    candidates_avx2(tables_, at, blocks, found);
    return;
  }
#endif
  for (std::size_t block = 0; block < blocks; ++block) {
    const char* const from = at + 64 * block;
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 64; ++i) {
      unsigned all = (static_cast<unsigned char>(from[i]) & 0xC0) == 0x80 ? 0 : 0xFFFF;
      for (unsigned k = 0; k < fingerprint_bytes; ++k) {
        const unsigned value = static_cast<unsigned char>(from[i + offsets[k]]) & 0x3F;
        all &= tables_[0][k][value] | unsigned{tables_[1][k][value]} << 8;
      }
      if (all != 0) bits |= std::uint64_t{1} << i;
    }
    found[block] = bits;
  }
}

}  // namespace korvidan::text
