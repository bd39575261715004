#include <gtest/gtest.h>

#include <random>

#include "text/every_kernel.hpp"

namespace korvidan::text {
namespace {

KORVIDAN_ON_EVERY_KERNEL(ProbeFilterTest);

using Probes = ProbeFilter::Probes;

std::vector<std::size_t> candidates(const ProbeFilter& filter, std::string_view text,
                                    std::size_t readable_after = 0) {
  std::vector<std::size_t> found;
  std::size_t at = filter.next_candidate(text, 0, readable_after);
  for (; at < text.size(); at = filter.next_candidate(text, at + 1, readable_after))
    found.push_back(at);
  EXPECT_EQ(at, text.size()) << "the end is told by the text's size";
  return found;
}

std::vector<std::size_t> probes_held(const std::vector<Probes>& strings, std::string_view text) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const Probes& probes : strings) {
      const std::size_t first = at + probes.first_offset;
      const std::size_t second = at + probes.second_offset;
      if (first < text.size() && second < text.size() &&
          static_cast<unsigned char>(text[first]) == probes.first &&
          static_cast<unsigned char>(text[second]) == probes.second) {
        found.push_back(at);
        break;
      }
    }
  }
  return found;
}

// Few byte values, so that probes hold often, also near the text's end where the 32-byte
// steps give way to the plain test.
TEST_P(ProbeFilterTest, stops_exactly_where_some_strings_probes_hold) {
  std::mt19937 random(41);
  const unsigned char bytes[] = {0xE3, 0x81, 0xAC, 'a', '\n', 0x00};
  for (int round = 0; round < 3000; ++round) {
    std::vector<Probes> strings(1 + random() % ProbeFilter::max_strings);
    for (Probes& probes : strings) {
      probes = {random() % 12, random() % 12, bytes[random() % std::size(bytes)],
                bytes[random() % std::size(bytes)]};
    }
    std::string text;
    const std::size_t size = random() % 160;
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char>(bytes[random() % 3 + 1]);
    // The rarer bytes, a few times only.
    for (int i = 0; i < 3 && size != 0; ++i)
      text[random() % size] = static_cast<char>(bytes[random() % std::size(bytes)]);
    const std::vector<std::size_t> expected = probes_held(strings, text);
    ASSERT_EQ(candidates(ProbeFilter(strings), text), expected) << ::testing::PrintToString(text);
    // Bytes after the text may be read, never taken for the text's: here they are the
    // probed bytes themselves.
    const std::size_t readable_after = random() % 50;
    std::string padded = text;
    for (std::size_t i = 0; i < readable_after; ++i)
      padded += static_cast<char>(bytes[random() % 3]);
    ASSERT_EQ(
        candidates(ProbeFilter(strings), std::string_view(padded).substr(0, size), readable_after),
        expected)
        << ::testing::PrintToString(text) << " + " << readable_after;
  }
}

}  // namespace
}  // namespace korvidan::text
