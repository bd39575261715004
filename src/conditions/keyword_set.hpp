// Any of many keywords found in one pass, at about the same cost for ten keywords as for
// thousands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "conditions/keyword_trie.hpp"
#include "text/text.hpp"

namespace korvidan::conditions {

// Keywords of valid UTF-8 begin with a byte that is not a continuation byte, so only the
// text's character starts can begin one (in Japanese text, one byte in three); they are
// found 64 at a time. At each, the first `prefix` bytes (the shortest keyword's length, at
// most 8: two Japanese characters or more tell keywords apart far better than one) are
// hashed into a bitmap of the keywords' prefixes (behind the fingerprint filter, keywords of
// 8 bytes or more by all 8), and only on a hit are the keywords with that hash compared: one
// by one where they are few, through a trie where many share a beginning.
// Where the keywords begin with only a few two-byte beginnings, none of them common in
// Japanese text (a list of "語彙1番" ... "語彙400番"), those are searched 32 positions at a
// time first; otherwise the fingerprint filter passes on the character starts where a
// keyword may begin. The keywords are views that must outlive the set.
class KeywordSet {
 public:
  explicit KeywordSet(std::vector<std::string_view> keywords);
  // Where the first of the keywords found in `haystack` begins, or npos; `readable_after`
  // bytes after the haystack may be read (never matched).
  std::size_t find_first(std::string_view haystack, std::size_t readable_after) const;
  bool find_any(std::string_view haystack, std::size_t readable_after) const {
    return find_first(haystack, readable_after) != std::string_view::npos;
  }

 private:
  struct Entry {
    std::uint64_t head;       // the first bytes, up to 8, as loaded from memory
    std::uint64_t head_mask;  // which bytes of a word those are
    std::uint64_t tail;       // bytes 8 to 15, those there are, likewise
    std::uint64_t tail_mask;
    const char* bytes;
    std::size_t size;
  };
  // The eight bytes at `at`, those past `readable` zero.
  static std::uint64_t word_at(const char* at, std::size_t readable);
  std::size_t slot(std::uint64_t prefix) const;
  bool holds(std::size_t at_slot) const;  // the slot's bit in the prefix bitmap
  // Whether a keyword begins at `start`, given the word there and its prefix's slot.
  bool starts_at(const char* data, std::size_t size, std::size_t start, std::uint64_t word,
                 std::size_t at_slot) const;
  // Whether the word at a position hits the prefix bitmap.
  bool hit(std::uint64_t word) const;
  // Whether a keyword begins at `at`, given the word there (its bytes past the readable
  // ones zero).
  bool begins_at(const char* data, std::size_t size, std::size_t at, std::uint64_t word) const;

  std::size_t prefix_ = 0;
  bool every_position_ = false;
  std::optional<text::ProbeFilter> beginnings_;
  std::optional<text::FingerprintFilter> fingerprints_;
  std::uint64_t prefix_mask_ = 0;
  bool long_prefixes_ = false;  // keywords of 8 bytes or more hashed on all 8
  unsigned shift_ = 0;
  unsigned bucket_shift_ = 0;
  std::vector<std::uint64_t> bitmap_;
  std::vector<std::uint32_t> bucket_start_;  // keywords of bucket b: [start[b], start[b + 1])
  std::vector<Entry> entries_;
  KeywordTrie trie_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> trie_roots_;  // bucket, its tree
};

}  // namespace korvidan::conditions
