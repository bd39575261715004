// Candidate positions for a few byte strings, two bytes of each tested. Two bytes chosen
// where a string is least like the text around it stop the scan rarely, so one pass over
// the text serves all strings of a keyword group.
#include <algorithm>
#include <utility>

#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

#if KORVIDAN_X86_64
struct Broadcasts {
  __m256i first[ProbeFilter::max_strings];
  __m256i second[ProbeFilter::max_strings];
};

// Of the 32 positions from `at`, those where some string's probes hold.
template <std::size_t Count>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t hits_at(
    const ProbeFilter::Probes* strings, const Broadcasts& wanted, const unsigned char* at) {
  __m256i any = _mm256_setzero_si256();
  for (std::size_t k = 0; k < Count; ++k) {
    const __m256i a =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + strings[k].first_offset));
    const __m256i b =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + strings[k].second_offset));
    any = _mm256_or_si256(any, _mm256_and_si256(_mm256_cmpeq_epi8(a, wanted.first[k]),
                                                _mm256_cmpeq_epi8(b, wanted.second[k])));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(any));
}

struct Step {
  std::size_t position;  // a hit, or where the plain test has to go on
  bool hit;
};

// 32 positions a step while the bytes a step loads are readable: the text's and, after its
// end, `limit - size` more. The hits before the text's end are returned; those whose
// probes reach past it still have to be tested plainly. The string count is fixed at
// compile time so that the steps keep all wanted bytes in registers.
template <std::size_t Count>
__attribute__((target("avx2"))) Step next_hit_avx2(const ProbeFilter::Probes* strings,
                                                   std::size_t reach, const unsigned char* bytes,
                                                   std::size_t size, std::size_t limit,
                                                   std::size_t from) {
  Broadcasts wanted;
  for (std::size_t k = 0; k < Count; ++k) {
    wanted.first[k] = _mm256_set1_epi8(static_cast<char>(strings[k].first));
    wanted.second[k] = _mm256_set1_epi8(static_cast<char>(strings[k].second));
  }
  const auto within_text = [size](std::size_t at, std::uint32_t hits) {
    return size - at >= 32 ? hits : hits & ((std::uint32_t{1} << (size - at)) - 1);
  };
  std::size_t at = from;
  for (; at < size && at + 32 + reach <= limit; at += 32) {
    const std::uint32_t hits = within_text(at, hits_at<Count>(strings, wanted, bytes + at));
    if (hits != 0) return {at + static_cast<std::size_t>(__builtin_ctz(hits)), true};
  }
  // Once more over the last 32 positions a step can load, the ones before `at` left out.
  const std::size_t base = limit - 32 - reach;
  if (at >= size || at - base >= 32) return {at, false};
  const std::uint32_t hits =
      within_text(at, hits_at<Count>(strings, wanted, bytes + base) >> (at - base));
  if (hits != 0) return {at + static_cast<std::size_t>(__builtin_ctz(hits)), true};
  return {std::min(base + 32, size), false};
}

// Of the 64 positions from `at`, those where some string's probes hold.
template <std::size_t Count>
__attribute__((target("avx2,avx512f,avx512bw"), always_inline)) inline std::uint64_t hits_at_64(
    const ProbeFilter::Probes* strings, const __m512i* first, const __m512i* second,
    const unsigned char* at) {
  __mmask64 any = 0;
  for (std::size_t k = 0; k < Count; ++k) {
    const __m512i a = _mm512_loadu_si512(at + strings[k].first_offset);
    const __m512i b = _mm512_loadu_si512(at + strings[k].second_offset);
    any |= _mm512_cmpeq_epi8_mask(a, first[k]) & _mm512_cmpeq_epi8_mask(b, second[k]);
  }
  return any;
}

// The same as next_hit_avx2, 64 positions a step.
template <std::size_t Count>
__attribute__((target("avx2,avx512f,avx512bw"))) Step next_hit_avx512(
    const ProbeFilter::Probes* strings, std::size_t reach, const unsigned char* bytes,
    std::size_t size, std::size_t limit, std::size_t from) {
  __m512i first[Count];
  __m512i second[Count];
  for (std::size_t k = 0; k < Count; ++k) {
    first[k] = _mm512_set1_epi8(static_cast<char>(strings[k].first));
    second[k] = _mm512_set1_epi8(static_cast<char>(strings[k].second));
  }
  const auto within_text = [size](std::size_t at, std::uint64_t hits) {
    return size - at >= 64 ? hits : hits & ((std::uint64_t{1} << (size - at)) - 1);
  };
  std::size_t at = from;
  for (; at < size && at + 64 + reach <= limit; at += 64) {
    const std::uint64_t hits =
        within_text(at, hits_at_64<Count>(strings, first, second, bytes + at));
    if (hits != 0) return {at + static_cast<std::size_t>(__builtin_ctzll(hits)), true};
  }
  const std::size_t base = limit - 64 - reach;
  if (at >= size || at - base >= 64) return {at, false};
  const std::uint64_t hits =
      within_text(at, hits_at_64<Count>(strings, first, second, bytes + base) >> (at - base));
  if (hits != 0) return {at + static_cast<std::size_t>(__builtin_ctzll(hits)), true};
  return {std::min(base + 64, size), false};
}

using Scan = Step (*)(const ProbeFilter::Probes*, std::size_t, const unsigned char*, std::size_t,
                      std::size_t, std::size_t);

template <std::size_t... Counts>
Step dispatch(std::index_sequence<Counts...>, bool wide,
              const std::vector<ProbeFilter::Probes>& strings, std::size_t reach,
              const unsigned char* bytes, std::size_t size, std::size_t limit, std::size_t from) {
  static constexpr Scan narrow_scans[] = {&next_hit_avx2<Counts + 1>...};
  static constexpr Scan wide_scans[] = {&next_hit_avx512<Counts + 1>...};
  return (wide ? wide_scans : narrow_scans)[strings.size() - 1](strings.data(), reach, bytes, size,
                                                                limit, from);
}
#endif

}  // namespace

bool ProbeFilter::vectorized() { return use_avx2(); }

ProbeFilter::ProbeFilter(const std::vector<Probes>& strings) : strings_(strings) {
  for (const Probes& probes : strings_)
    reach_ = std::max({reach_, probes.first_offset, probes.second_offset});
}

bool ProbeFilter::candidate(const unsigned char* bytes, std::size_t size, std::size_t at) const {
  for (const Probes& probes : strings_) {
    if (std::max(probes.first_offset, probes.second_offset) < size - at &&
        bytes[at + probes.first_offset] == probes.first &&
        bytes[at + probes.second_offset] == probes.second) {
      return true;
    }
  }
  return false;
}

std::size_t ProbeFilter::next_candidate(std::string_view text, std::size_t from,
                                        std::size_t readable_after) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = from;
#if KORVIDAN_X86_64
  const std::size_t limit = size + readable_after;
  if (vectorized() && limit >= 32 + reach_) {
    // 64 positions a step where the text has room for one.
    const bool wide = use_avx512() && limit >= 64 + reach_;
    while (at < size) {
      const Step step = dispatch(std::make_index_sequence<max_strings>(), wide, strings_, reach_,
                                 bytes, size, limit, at);
      if (!step.hit) {
        at = step.position;
        break;
      }
      if (step.position + reach_ < size || candidate(bytes, size, step.position))
        return step.position;
      at = step.position + 1;
    }
  }
#endif
  for (; at < size; ++at) {
    if (candidate(bytes, size, at)) return at;
  }
  return size;
}

}  // namespace korvidan::text
