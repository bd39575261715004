#include <gtest/gtest.h>

#include <random>
#include <set>

#include "text/both_kernels.hpp"

namespace korvidan::text {
namespace {

KORVIDAN_ON_BOTH_KERNELS(PairFilterTest);

std::vector<std::size_t> candidates(const PairFilter& filter, std::string_view text) {
  std::vector<std::size_t> found;
  for (std::size_t at = filter.next_candidate(text, 0); at < text.size();
       at = filter.next_candidate(text, at + 1)) {
    found.push_back(at);
  }
  return found;
}

std::vector<std::size_t> occurrences(const std::vector<std::string_view>& pairs,
                                     std::string_view text) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at + 2 <= text.size(); ++at) {
    for (const std::string_view pair : pairs) {
      if (text.substr(at, 2) == pair.substr(0, 2)) {
        found.push_back(at);
        break;
      }
    }
  }
  return found;
}

std::string random_text(std::mt19937& random, std::size_t size) {
  const unsigned char bytes[] = {0xE3, 0xE4, 0xE8, 0x81, 0x82, 0xAA, 0xBA, 'a', '\n', 0x00};
  std::string text;
  for (std::size_t i = 0; i < size; ++i)
    text += static_cast<char>(bytes[random() % std::size(bytes)]);
  return text;
}

// One pair fills one bucket alone, so its nibbles name it exactly: the candidates are its
// occurrences, wherever they fall against the 32-byte steps.
TEST_P(PairFilterTest, one_pair_is_found_exactly) {
  std::mt19937 random(31);
  const std::vector<std::string_view> pairs = {"\xE8\xAA\x9E"};
  for (std::size_t size = 0; size < 140; ++size) {
    for (int round = 0; round < 20; ++round) {
      const std::string text = random_text(random, size);
      ASSERT_EQ(candidates(PairFilter(pairs), text), occurrences(pairs, text))
          << ::testing::PrintToString(text);
    }
  }
}

// Many pairs share buckets: some positions are stopped at needlessly, none is passed over.
TEST_P(PairFilterTest, many_pairs_are_never_passed_over) {
  std::mt19937 random(32);
  std::vector<std::string> storage;
  for (int round = 0; round < 300; ++round) {
    storage.clear();
    const std::size_t count = 1 + random() % 40;
    for (std::size_t i = 0; i < count; ++i) storage.push_back(random_text(random, 2));
    const std::vector<std::string_view> pairs(storage.begin(), storage.end());
    const std::string text = random_text(random, random() % 300);
    const std::vector<std::size_t> found = candidates(PairFilter(pairs), text);
    const std::set<std::size_t> stopped(found.begin(), found.end());
    for (const std::size_t at : occurrences(pairs, text)) ASSERT_TRUE(stopped.count(at)) << at;
  }
}

}  // namespace
}  // namespace korvidan::text
