#include <algorithm>
#include <bit>
#include <cstring>

#include "conditions/keyword_set.hpp"
#include "text/cpu.hpp"
#include "text/text.hpp"

namespace korvidan::conditions {
namespace {

constexpr std::uint32_t multiplier = 0x9E3779B1U;

// A mask keeping a word's first `bytes` bytes in memory, whichever end of the word they are.
std::uint64_t first_bytes(std::size_t bytes) {
  if (bytes >= 8) return ~std::uint64_t{0};
  const std::uint64_t low = (std::uint64_t{1} << (8 * bytes)) - 1;
  if constexpr (std::endian::native == std::endian::big) return low << (8 * (8 - bytes));
  return low;
}

// Above this, the fingerprint filter costs more than the character starts it saves.
constexpr double max_pass_rate = 0.5;

// A bucket of more keywords than this is walked as a trie; up to this, two words compared
// per keyword cost less (korvidan_bench match_terms/5000: 8 slower by 4 %, 64 the same).
constexpr std::uint32_t most_listed = 32;

// Sorts as std::string_view does (bytes as unsigned), by the first eight bytes as one number
// first: a list of 100,000 keywords in a few milliseconds.
void sort_bytewise(std::vector<std::string_view>& keywords) {
  std::vector<std::pair<std::uint64_t, std::string_view>> keyed;
  keyed.reserve(keywords.size());
  for (const std::string_view keyword : keywords) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      key = key << 8 | (i < keyword.size() ? static_cast<unsigned char>(keyword[i]) : 0U);
    }
    keyed.emplace_back(key, keyword);
  }
  // Zeros stand for missing bytes too: equal numbers are told apart by the whole keyword.
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < keyed.size(); ++i) keywords[i] = keyed[i].second;
}

unsigned bits_for(std::size_t slots, unsigned least, unsigned most) {
  unsigned bits = least;
  while (bits < most && (std::size_t{1} << bits) < slots) ++bits;
  return bits;
}

}  // namespace

KeywordSet::KeywordSet(std::vector<std::string_view> keywords) {
  sort_bytewise(keywords);
  keywords.erase(std::unique(keywords.begin(), keywords.end()), keywords.end());
  std::size_t shortest = keywords.front().size();
  for (const std::string_view keyword : keywords) shortest = std::min(shortest, keyword.size());
  prefix_ = std::min<std::size_t>(shortest, 8);
  // Only a text that is not UTF-8 has a keyword beginning with a continuation byte; the
  // program never builds one, but the answer stays exact: every position is a candidate.
  every_position_ = std::any_of(keywords.begin(), keywords.end(), [](std::string_view keyword) {
    return (static_cast<unsigned char>(keyword.front()) & 0xC0) == 0x80;
  });
  prefix_mask_ = first_bytes(prefix_);
  // ASCII, and E3 (kana, the ideographic space and punctuation), begin a character too
  // often in Japanese text for a beginning to be worth searching; the keywords are sorted,
  // so equal beginnings come together.
  const auto common = [](std::string_view keyword) {
    const auto first = static_cast<unsigned char>(keyword.front());
    return first < 0x80 || first == 0xE3;
  };
  if (prefix_ >= 2 && text::ProbeFilter::vectorized() &&
      std::none_of(keywords.begin(), keywords.end(), common)) {
    std::vector<text::ProbeFilter::Probes> beginnings;
    for (const std::string_view keyword : keywords) {
      const text::ProbeFilter::Probes probes{0, 1, static_cast<unsigned char>(keyword[0]),
                                             static_cast<unsigned char>(keyword[1])};
      if (beginnings.empty() || beginnings.back().first != probes.first ||
          beginnings.back().second != probes.second) {
        beginnings.push_back(probes);
      }
      if (beginnings.size() > text::ProbeFilter::max_strings) break;
    }
    if (beginnings.size() <= text::ProbeFilter::max_strings) beginnings_.emplace(beginnings);
  }
  if (!beginnings_ && prefix_ >= 6 && !every_position_ && text::use_avx2()) {
    fingerprints_.emplace(keywords);
    if (fingerprints_->pass_rate() > max_pass_rate) fingerprints_.reset();
  }
  // Two characters of a keyword often begin other words of the text: behind the filter,
  // keywords of 8 bytes or more are told by all 8 (a second lookup for each candidate,
  // which pays only where the filter leaves few: korvidan_bench match_terms).
  long_prefixes_ = fingerprints_ && prefix_ < 8 &&
                   std::any_of(keywords.begin(), keywords.end(),
                               [](std::string_view keyword) { return keyword.size() >= 8; });
  // About 256 bits a keyword keeps false hits rare; 2^20 bits (128 KiB) at most.
  const unsigned bits = bits_for(keywords.size() * 256, 10, 20);
  shift_ = 32 - bits;
  bitmap_.assign((std::size_t{1} << bits) / 64, 0);
  const unsigned bucket_bits = bits_for(keywords.size(), 4, bits);
  bucket_shift_ = bits - bucket_bits;
  bucket_start_.assign((std::size_t{1} << bucket_bits) + 1, 0);

  // Each keyword's bucket, then the keywords by bucket, in their sorted order within one.
  std::vector<std::pair<std::uint32_t, Entry>> made;
  made.reserve(keywords.size());
  for (const std::string_view keyword : keywords) {
    const std::uint64_t head_mask = first_bytes(keyword.size());
    const std::uint64_t head = word_at(keyword.data(), keyword.size()) & head_mask;
    const std::size_t tail_size = keyword.size() > 8 ? keyword.size() - 8 : 0;
    const std::uint64_t tail_mask = tail_size == 0 ? 0 : first_bytes(tail_size);
    const std::uint64_t tail =
        tail_size == 0 ? 0 : word_at(keyword.data() + 8, tail_size) & tail_mask;
    const std::size_t at =
        slot(head & (long_prefixes_ && keyword.size() >= 8 ? ~std::uint64_t{0} : prefix_mask_));
    bitmap_[at / 64] |= std::uint64_t{1} << (at % 64);
    const auto bucket = static_cast<std::uint32_t>(at >> bucket_shift_);
    ++bucket_start_[bucket + 1];
    made.push_back({bucket, {head, head_mask, tail, tail_mask, keyword.data(), keyword.size()}});
  }
  for (std::size_t i = 1; i < bucket_start_.size(); ++i) bucket_start_[i] += bucket_start_[i - 1];
  entries_.resize(made.size());
  std::vector<std::uint32_t> next(bucket_start_.begin(), bucket_start_.end() - 1);
  for (const auto& [bucket, entry] : made) entries_[next[bucket]++] = entry;
  // Keywords that share a beginning (株式会社…, one day's timestamps) fall into one bucket:
  // its keywords, still sorted, make a tree of the trie.
  for (std::uint32_t bucket = 0; bucket + 1 < bucket_start_.size(); ++bucket) {
    if (bucket_start_[bucket + 1] - bucket_start_[bucket] <= most_listed) continue;
    std::vector<std::string_view> sorted;
    for (std::uint32_t i = bucket_start_[bucket]; i < bucket_start_[bucket + 1]; ++i) {
      sorted.emplace_back(entries_[i].bytes, entries_[i].size);
    }
    trie_roots_.emplace_back(bucket, trie_.add(sorted));
  }
}

std::uint64_t KeywordSet::word_at(const char* at, std::size_t readable) {
  std::uint64_t word = 0;
  if (readable >= 8) {
    std::memcpy(&word, at, 8);
  } else {
    std::memcpy(&word, at, readable);
  }
  return word;
}

std::size_t KeywordSet::slot(std::uint64_t prefix) const {
  const auto low = static_cast<std::uint32_t>(prefix);
  const auto high = static_cast<std::uint32_t>(prefix >> 32);
  return ((low ^ std::rotl(high, 13)) * multiplier) >> shift_;
}

bool KeywordSet::holds(std::size_t at_slot) const {
  return (bitmap_[at_slot / 64] >> (at_slot % 64) & 1) != 0;
}

bool KeywordSet::starts_at(const char* data, std::size_t size, std::size_t start,
                           std::uint64_t word, std::size_t at_slot) const {
  const std::size_t bucket = at_slot >> bucket_shift_;
  const std::size_t fits = size - start;
  if (bucket_start_[bucket + 1] - bucket_start_[bucket] > most_listed) {
    const auto root = std::lower_bound(trie_roots_.begin(), trie_roots_.end(),
                                       std::pair{static_cast<std::uint32_t>(bucket), 0U});
    return trie_.begins(root->second, data + start, fits);
  }
  // Bytes 8 to 15 loaded once too (a keyword of up to five Japanese characters is then
  // compared in two words), where they are readable.
  const std::uint64_t second = word_at(data + start + 8, fits > 8 ? fits - 8 : 0);
  for (std::uint32_t i = bucket_start_[bucket]; i < bucket_start_[bucket + 1]; ++i) {
    const Entry& entry = entries_[i];
    if ((word & entry.head_mask) == entry.head && entry.size <= fits &&
        (second & entry.tail_mask) == entry.tail &&
        (entry.size <= 16 ||
         std::memcmp(data + start + 16, entry.bytes + 16, entry.size - 16) == 0)) {
      return true;
    }
  }
  return false;
}

bool KeywordSet::hit(std::uint64_t word) const {
  // Both bits taken, without a branch on the first.
  return (unsigned{holds(slot(word & prefix_mask_))} |
          unsigned{long_prefixes_ && holds(slot(word))}) != 0;
}

bool KeywordSet::begins_at(const char* data, std::size_t size, std::size_t at,
                           std::uint64_t word) const {
  const std::size_t short_slot = slot(word & prefix_mask_);
  if (holds(short_slot) && starts_at(data, size, at, word, short_slot)) return true;
  // Where fewer than 8 bytes fit, no keyword of 8 bytes does either: starts_at says so.
  if (!long_prefixes_) return false;
  const std::size_t long_slot = slot(word);
  return holds(long_slot) && starts_at(data, size, at, word, long_slot);
}

std::size_t KeywordSet::find_first(std::string_view haystack, std::size_t readable_after) const {
  constexpr std::size_t none = std::string_view::npos;
  if (haystack.size() < prefix_) return none;
  const char* const data = haystack.data();
  const std::size_t size = haystack.size();
  const std::size_t readable = size + readable_after;
  const std::size_t last = size - prefix_;  // the last position a keyword may begin at
  if (beginnings_) {
    for (std::size_t at = beginnings_->next_candidate(haystack, 0, readable_after); at <= last;
         at = beginnings_->next_candidate(haystack, at + 1, readable_after)) {
      if (begins_at(data, size, at, word_at(data + at, readable - at))) return at;
    }
    return none;
  }
  // The candidates' bitmap bits first, without a branch each; the few hits then compare.
  const auto search = [&](std::size_t block, std::uint64_t starts) -> std::size_t {
    if (last - block < 63) starts &= (std::uint64_t{2} << (last - block)) - 1;
    std::uint64_t hits = 0;
    for (std::uint64_t rest = starts; rest != 0; rest &= rest - 1) {
      const auto bit = static_cast<unsigned>(std::countr_zero(rest));
      std::uint64_t word;
      std::memcpy(&word, data + block + bit, 8);
      hits |= static_cast<std::uint64_t>(hit(word)) << bit;
    }
    for (; hits != 0; hits &= hits - 1) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(hits));
      std::uint64_t word;
      std::memcpy(&word, data + at, 8);
      if (begins_at(data, size, at, word)) return at;
    }
    return none;
  };
  std::size_t block = 0;
  // Steps of 64 positions while a step and the prefixes it may load stay readable; with
  // the fingerprint filter, four steps at a time where they fit.
  constexpr std::size_t reads = 64 + 8;
  static_assert(text::FingerprintFilter::reads_after <= reads - 64);
  if (fingerprints_) {
    constexpr std::size_t batch = 4;
    std::uint64_t starts[batch];
    while (block <= last && readable - block >= reads) {
      const std::size_t blocks =
          std::min<std::size_t>({batch, (last - block) / 64 + 1, (readable - block - 8) / 64});
      fingerprints_->candidate_starts(data + block, blocks, starts);
      for (std::size_t i = 0; i < blocks; ++i, block += 64) {
        if (const std::size_t found = search(block, starts[i]); found != none) return found;
      }
    }
  }
  for (; block <= last && readable - block >= reads; block += 64) {
    const std::size_t found =
        search(block, every_position_ ? ~std::uint64_t{0} : text::character_starts(data + block));
    if (found != none) return found;
  }
  for (std::size_t at = block; at <= last; ++at) {
    if (!every_position_ && (static_cast<unsigned char>(data[at]) & 0xC0) == 0x80) continue;
    if (begins_at(data, size, at, word_at(data + at, readable - at))) return at;
  }
  return none;
}

}  // namespace korvidan::conditions
