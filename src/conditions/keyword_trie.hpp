// Which of many keywords begins a text, at the cost of the bytes compared, however many
// keywords share a beginning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvidan::conditions {

// A compressed trie: a node stands for the keywords that share all bytes up to it, holds
// the bytes they all share next and leads on by the byte where they part. A keyword that
// ends at a node ends the walk, so the keywords it begins are left out. Several trees can
// live in one trie; the keywords are views that must outlive it.
class KeywordTrie {
 public:
  // Adds one tree of `keywords` (sorted, distinct, none empty) and returns its root.
  std::uint32_t add(const std::vector<std::string_view>& keywords);
  // Whether a keyword of the tree at `root` begins `text`, of which `fits` bytes are there.
  bool begins(std::uint32_t root, const char* text, std::size_t fits) const;

 private:
  struct Node {
    const char* shared = nullptr;  // the bytes after the parting byte that lead here
    std::uint32_t shared_size = 0;
    std::uint32_t first_child = 0;  // the children are consecutive nodes
    std::uint32_t children = 0;
    bool ends = false;  // a keyword ends after `shared`
  };
  std::vector<Node> nodes_;
  std::vector<char> parting_bytes_;  // by node: the byte that leads to it from its parent
};

}  // namespace korvidan::conditions
