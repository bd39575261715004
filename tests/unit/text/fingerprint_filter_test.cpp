#include <gtest/gtest.h>

#include <random>

#include "text/every_kernel.hpp"

namespace korvidan::text {
namespace {

KORVIDAN_ON_EVERY_KERNEL(FingerprintFilterTest);

// The plain rule: a candidate is a character start where some bucket holds all six
// fingerprint bytes, a string holding every value where it is too short for one.
bool plain_candidate(const FingerprintFilter& filter, const std::vector<std::string>& strings,
                     const std::string& text, std::size_t at) {
  if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) return false;
  for (unsigned bucket = 0; bucket < filter.buckets(); ++bucket) {
    bool all = true;
    for (const std::size_t offset : {1U, 2U, 4U, 5U, 7U, 8U}) {
      bool held = false;
      for (const std::string& string : strings) {
        held = held ||
               (filter.bucket_of(string) == bucket &&
                (string.size() <= offset || (string[offset] & 0x3F) == (text[at + offset] & 0x3F)));
      }
      all = all && held;
    }
    if (all) return true;
  }
  return false;
}

// Kana, kanji, ASCII and odd bytes in random texts, with the strings planted at random:
// every planted string's start is a candidate, and every candidate is the plain rule's.
TEST_P(FingerprintFilterTest, candidates_are_the_plain_rule_and_never_miss_a_string) {
  std::mt19937 random(70);
  const std::vector<std::string> pieces = {
      "デ",  "ー", "タ", "情", "報", "処", "a", " ", "の", "\xE3\x80\x80", "\xF0\x9F\x98\x80",
      "\x80"};
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> strings;
    const int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      std::string string;
      // Japanese, ASCII at the end for sizes between; some shorter than a fingerprint
      const std::size_t size = 6 + random() % 7;
      while (string.size() + 3 <= size) string += pieces[random() % 6];
      string.resize(size, 'a');
      strings.push_back(string);
    }
    std::string text;
    std::vector<std::size_t> planted;
    while (text.size() < 64 * 5) {
      if (random() % 8 == 0) {
        planted.push_back(text.size());
        text += strings[random() % strings.size()];
      } else {
        text += pieces[random() % pieces.size()];
      }
    }
    const std::size_t blocks = (text.size() - FingerprintFilter::reads_after) / 64;
    std::vector<std::string_view> views(strings.begin(), strings.end());
    const FingerprintFilter filter(views);
    std::vector<std::uint64_t> found(blocks);
    filter.candidate_starts(text.data(), blocks, found.data());
    for (std::size_t at = 0; at < 64 * blocks; ++at) {
      const bool candidate = (found[at / 64] >> (at % 64) & 1) != 0;
      ASSERT_EQ(candidate, plain_candidate(filter, strings, text, at))
          << "round " << round << " at " << at;
    }
    for (const std::size_t at : planted) {
      if (at < 64 * blocks) {
        ASSERT_TRUE(found[at / 64] >> (at % 64) & 1) << at;
      }
    }
  }
}

}  // namespace
}  // namespace korvidan::text
