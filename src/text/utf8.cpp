// UTF-8 validation: every byte of every text file passes through it before anything of the
// file is written, so it has an ASCII fast path of 8 bytes a step and, where the processor
// has AVX2, a path of 32 bytes a step (64 with AVX-512).
#include <cstring>

#include "platform/platform.hpp"
#include "text/cpu.hpp"
#include "text/text.hpp"

#if KORVIDAN_X86_64
#include <immintrin.h>
#endif

namespace korvidan::text {
namespace {

constexpr std::uint64_t high_bits = 0x8080808080808080ULL;

bool plain_three_byte_lead(unsigned char byte) {
  return byte >= 0xE1 && byte <= 0xEF && byte != 0xED;
}

#if KORVIDAN_X86_64
// 32 bytes a step by table lookups on each byte's and the previous byte's nibbles (the
// method of Keiser and Lemire): each table marks, bit by bit, the kinds of error a nibble
// can take part in, and a pair of bytes is wrong when all three tables agree on one kind.
// Three- and four-byte characters add the rule that a continuation byte two or three
// after a lead is expected exactly there. Reports nothing for a character cut off at the
// end of the bytes; the caller checks the last character again.
constexpr unsigned char too_short = 1 << 0;
constexpr unsigned char too_long = 1 << 1;
constexpr unsigned char overlong_3 = 1 << 2;
constexpr unsigned char too_large = 1 << 3;
constexpr unsigned char surrogate = 1 << 4;
constexpr unsigned char overlong_2 = 1 << 5;
constexpr unsigned char too_large_1000 = 1 << 6;
constexpr unsigned char overlong_4 = 1 << 6;
constexpr unsigned char two_continuations = 1 << 7;
constexpr unsigned char carry = too_short | too_long | two_continuations;

struct alignas(32) NibbleTable {
  unsigned char entries[32];
};

constexpr NibbleTable twice(const unsigned char (&half)[16]) {
  NibbleTable table{};
  for (int i = 0; i < 16; ++i) table.entries[i] = table.entries[i + 16] = half[i];
  return table;
}

constexpr unsigned char first_high[16] = {too_long,
                                          too_long,
                                          too_long,
                                          too_long,
                                          too_long,
                                          too_long,
                                          too_long,
                                          too_long,
                                          two_continuations,
                                          two_continuations,
                                          two_continuations,
                                          two_continuations,
                                          too_short | overlong_2,
                                          too_short,
                                          too_short | overlong_3 | surrogate,
                                          too_short | too_large | too_large_1000 | overlong_4};
constexpr unsigned char first_low[16] = {carry | overlong_3 | overlong_2 | overlong_4,
                                         carry | overlong_2,
                                         carry,
                                         carry,
                                         carry | too_large,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000 | surrogate,
                                         carry | too_large | too_large_1000,
                                         carry | too_large | too_large_1000};
constexpr unsigned char second_high[16] = {
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_short,
    too_long | overlong_2 | two_continuations | overlong_3 | too_large_1000 | overlong_4,
    too_long | overlong_2 | two_continuations | overlong_3 | too_large,
    too_long | overlong_2 | two_continuations | surrogate | too_large,
    too_long | overlong_2 | two_continuations | surrogate | too_large,
    too_short,
    too_short,
    too_short,
    too_short};
constexpr NibbleTable first_high_table = twice(first_high);
constexpr NibbleTable first_low_table = twice(first_low);
constexpr NibbleTable second_high_table = twice(second_high);

__attribute__((target("avx2"))) bool blocks_valid_avx2(const unsigned char* bytes,
                                                       std::size_t size) {
  const __m256i high_table_1 =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(first_high_table.entries));
  const __m256i low_table_1 =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(first_low_table.entries));
  const __m256i high_table_2 =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(second_high_table.entries));
  const __m256i low_nibble = _mm256_set1_epi8(0x0F);
  const __m256i third_from = _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m256i fourth_from = _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m256i top_bit = _mm256_set1_epi8(static_cast<char>(0x80));
  __m256i previous = _mm256_setzero_si256();
  __m256i error = _mm256_setzero_si256();
  for (std::size_t at = 0; at + 32 <= size; at += 32) {
    const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
    // The 32 bytes shifted by one, two and three, the previous block's last bytes in front.
    const __m256i joined = _mm256_permute2x128_si256(previous, input, 0x21);
    const __m256i prev1 = _mm256_alignr_epi8(input, joined, 15);
    const __m256i prev2 = _mm256_alignr_epi8(input, joined, 14);
    const __m256i prev3 = _mm256_alignr_epi8(input, joined, 13);
    const __m256i special = _mm256_and_si256(
        _mm256_and_si256(
            _mm256_shuffle_epi8(high_table_1,
                                _mm256_and_si256(_mm256_srli_epi16(prev1, 4), low_nibble)),
            _mm256_shuffle_epi8(low_table_1, _mm256_and_si256(prev1, low_nibble))),
        _mm256_shuffle_epi8(high_table_2,
                            _mm256_and_si256(_mm256_srli_epi16(input, 4), low_nibble)));
    const __m256i must_continue = _mm256_and_si256(
        _mm256_or_si256(_mm256_subs_epu8(prev2, third_from), _mm256_subs_epu8(prev3, fourth_from)),
        top_bit);
    error = _mm256_or_si256(error, _mm256_xor_si256(must_continue, special));
    previous = input;
  }
  return _mm256_testz_si256(error, error) != 0;
}

// The same rules 64 bytes a step: the tables four times over, one per 128-bit lane, as the
// byte shuffles look up within their lane.
struct alignas(64) LaneTables {
  unsigned char entries[64];
};

constexpr LaneTables four_times(const unsigned char (&half)[16]) {
  LaneTables table{};
  for (int i = 0; i < 64; ++i) table.entries[i] = half[i % 16];
  return table;
}

constexpr LaneTables first_high_lanes = four_times(first_high);
constexpr LaneTables first_low_lanes = four_times(first_low);
constexpr LaneTables second_high_lanes = four_times(second_high);

__attribute__((target("avx2,avx512f,avx512bw"))) bool blocks_valid_avx512(
    const unsigned char* bytes, std::size_t size) {
  const __m512i high_table_1 = _mm512_load_si512(first_high_lanes.entries);
  const __m512i low_table_1 = _mm512_load_si512(first_low_lanes.entries);
  const __m512i high_table_2 = _mm512_load_si512(second_high_lanes.entries);
  const __m512i low_nibble = _mm512_set1_epi8(0x0F);
  const __m512i third_from = _mm512_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m512i fourth_from = _mm512_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m512i top_bit = _mm512_set1_epi8(static_cast<char>(0x80));
  // Lanes 3 of `previous`, then 0 to 2 of the input.
  const __m512i lane_before = _mm512_set_epi64(13, 12, 11, 10, 9, 8, 7, 6);
  __m512i previous = _mm512_setzero_si512();
  __m512i error = _mm512_setzero_si512();
  for (std::size_t at = 0; at + 64 <= size; at += 64) {
    const __m512i input = _mm512_loadu_si512(bytes + at);
    // Each lane of the input after the lane before it: the previous block's last in front.
    const __m512i joined = _mm512_permutex2var_epi64(previous, lane_before, input);
    const __m512i prev1 = _mm512_alignr_epi8(input, joined, 15);
    const __m512i prev2 = _mm512_alignr_epi8(input, joined, 14);
    const __m512i prev3 = _mm512_alignr_epi8(input, joined, 13);
    const __m512i special = _mm512_and_si512(
        _mm512_and_si512(
            _mm512_shuffle_epi8(high_table_1,
                                _mm512_and_si512(_mm512_srli_epi16(prev1, 4), low_nibble)),
            _mm512_shuffle_epi8(low_table_1, _mm512_and_si512(prev1, low_nibble))),
        _mm512_shuffle_epi8(high_table_2,
                            _mm512_and_si512(_mm512_srli_epi16(input, 4), low_nibble)));
    const __m512i must_continue = _mm512_and_si512(
        _mm512_or_si512(_mm512_subs_epu8(prev2, third_from), _mm512_subs_epu8(prev3, fourth_from)),
        top_bit);
    error = _mm512_or_si512(error, _mm512_xor_si512(must_continue, special));
    previous = input;
  }
  return _mm512_test_epi8_mask(error, error) == 0;
}

#endif

}  // namespace

bool is_valid_utf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = 0;
#if KORVIDAN_X86_64
  if (size >= 64 && use_avx2()) {
    const bool wide = use_avx512();
    const std::size_t blocks = wide ? size - size % 64 : size - size % 32;
    if (!(wide ? blocks_valid_avx512(bytes, blocks) : blocks_valid_avx2(bytes, blocks))) {
      return false;
    }
    // A lead byte among the last three may begin a character the blocks cut off; the
    // check below starts again there.
    at = blocks;
    for (std::size_t back = 1; back <= 3; ++back) {
      const unsigned char byte = bytes[blocks - back];
      if (byte < 0x80) break;
      if (byte >= 0xC0) {
        at = blocks - back;
        break;
      }
    }
  }
#endif
  while (at < size) {
    if (at + 8 <= size) {
      std::uint64_t block;
      std::memcpy(&block, bytes + at, 8);
      if ((block & high_bits) == 0) {
        at += 8;
        continue;
      }
    }
    // Japanese prose is mostly three-byte characters with lead bytes E3 to E9 and EF.
    // Leads E1..EC and EE..EF accept any two continuation bytes, so a masked compare of
    // loaded bytes settles such characters, two at a time (E0 and ED have narrower ranges).
    while (at + 8 <= size && plain_three_byte_lead(bytes[at]) &&
           plain_three_byte_lead(bytes[at + 3])) {
      std::uint64_t block;
      std::memcpy(&block, bytes + at, 8);
      if ((block & 0x0000C0C000C0C000ULL) != 0x0000808000808000ULL) return false;
      at += 6;
    }
    while (at + 3 <= size && plain_three_byte_lead(bytes[at])) {
      if ((bytes[at + 1] & 0xC0) != 0x80 || (bytes[at + 2] & 0xC0) != 0x80) return false;
      at += 3;
    }
    if (at >= size) break;
    const std::size_t length = platform::utf8_sequence_length(bytes, at, size, false);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

namespace {

// How many bytes the character led by `lead` has; 1 for a byte that cannot lead one, so
// that checking it alone fails.
std::size_t expected_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

bool Utf8Checker::feed(std::string_view bytes) {
  if (!valid_) return false;
  while (pending_size_ != 0 && pending_size_ < sizeof pending_ && !bytes.empty()) {
    pending_[pending_size_++] = static_cast<unsigned char>(bytes.front());
    bytes.remove_prefix(1);
    if (pending_size_ == expected_length(pending_[0])) {
      valid_ = is_valid_utf8(std::string_view(reinterpret_cast<char*>(pending_), pending_size_));
      pending_size_ = 0;
      if (!valid_) return false;
    }
  }
  if (bytes.empty()) return true;
  // A character cut off by the end of the piece waits for the next one. Its lead byte is
  // among the last three; continuation bytes after it do not end it.
  std::size_t complete = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if (byte < 0x80) break;
    if (byte >= 0xC0) {
      if (expected_length(byte) > back) complete = bytes.size() - back;
      break;
    }
  }
  valid_ = is_valid_utf8(bytes.substr(0, complete));
  pending_size_ = bytes.size() - complete;
  std::memcpy(pending_, bytes.data() + complete, pending_size_);
  return valid_;
}

}  // namespace korvidan::text
