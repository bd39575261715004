// Candidate positions for a set of two-byte beginnings. Each pair is put in one of eight
// buckets; a byte's low and high nibble each look up the buckets whose pairs can have that
// nibble there, for the first and the second byte. A position is a candidate when some
// bucket accepts all four nibbles: every pair's own positions are, and a few others.
#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

#if KORVIDAN_X86_64
__attribute__((target("avx2"))) __m256i table16(const unsigned char (&half)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(half)));
}

// 32 positions a step: the four lookups are byte shuffles of 16-entry tables.
__attribute__((target("avx2"))) std::size_t next_candidate_avx2(const PairFilter::Tables& t,
                                                                const unsigned char* bytes,
                                                                std::size_t from,
                                                                std::size_t last) {
  const __m256i first_low = table16(t.first_low);
  const __m256i first_high = table16(t.first_high);
  const __m256i second_low = table16(t.second_low);
  const __m256i second_high = table16(t.second_high);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  std::size_t at = from;
  // The second bytes are loaded one further on, so the last step ends at last + 1.
  for (; at + 32 <= last; at += 32) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + 1));
    const __m256i buckets = _mm256_and_si256(
        _mm256_and_si256(
            _mm256_shuffle_epi8(first_low, _mm256_and_si256(first, nibble)),
            _mm256_shuffle_epi8(first_high, _mm256_and_si256(_mm256_srli_epi16(first, 4), nibble))),
        _mm256_and_si256(_mm256_shuffle_epi8(second_low, _mm256_and_si256(second, nibble)),
                         _mm256_shuffle_epi8(
                             second_high, _mm256_and_si256(_mm256_srli_epi16(second, 4), nibble))));
    const auto empty =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, zero)));
    if (empty != 0xFFFFFFFFU) return at + static_cast<std::size_t>(__builtin_ctz(~empty));
  }
  return at;
}
#endif

}  // namespace

PairFilter::PairFilter(const std::vector<std::string_view>& beginnings) {
  for (const std::string_view beginning : beginnings) {
    const auto first = static_cast<unsigned char>(beginning[0]);
    const auto second = static_cast<unsigned char>(beginning[1]);
    // Spread by the second byte's low bits: in Japanese the first bytes are few.
    const auto bucket = static_cast<unsigned char>(1U << ((second ^ (first << 1)) & 7));
    tables_.first_low[first & 0x0F] |= bucket;
    tables_.first_high[first >> 4] |= bucket;
    tables_.second_low[second & 0x0F] |= bucket;
    tables_.second_high[second >> 4] |= bucket;
  }
}

bool PairFilter::candidate(const unsigned char* at) const {
  return (tables_.first_low[at[0] & 0x0F] & tables_.first_high[at[0] >> 4] &
          tables_.second_low[at[1] & 0x0F] & tables_.second_high[at[1] >> 4]) != 0;
}

std::size_t PairFilter::next_candidate(std::string_view text, std::size_t from) const {
  if (text.size() < 2) return text.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t last = text.size() - 1;  // the last position with a second byte
  std::size_t at = from;
#if KORVIDAN_X86_64
  if (use_avx2()) at = next_candidate_avx2(tables_, bytes, at, last);
#endif
  for (; at < last; ++at) {
    if (candidate(bytes + at)) return at;
  }
  return text.size();
}

}  // namespace korvidan::text
