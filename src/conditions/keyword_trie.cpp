#include "conditions/keyword_trie.hpp"

#include <cstring>

namespace korvidan::conditions {

std::uint32_t KeywordTrie::add(const std::vector<std::string_view>& keywords) {
  const auto root = static_cast<std::uint32_t>(nodes_.size());
  nodes_.emplace_back();
  parting_bytes_.push_back(0);
  // Depth first with a stack of its own: a list can part at every byte of a long keyword.
  struct Range {
    const std::string_view* first;
    const std::string_view* last;
    std::size_t depth;
    std::uint32_t at;
  };
  std::vector<Range> stack{{keywords.data(), keywords.data() + keywords.size(), 0, root}};
  while (!stack.empty()) {
    const auto [first, last, depth, at] = stack.back();
    stack.pop_back();
    // In sorted keywords, the first and the last share what all of them share.
    const std::string_view low = *first;
    const std::string_view high = *(last - 1);
    std::size_t shared = depth;
    while (shared < low.size() && shared < high.size() && low[shared] == high[shared]) ++shared;
    Node& node = nodes_[at];
    node.shared = low.data() + depth;
    node.shared_size = static_cast<std::uint32_t>(shared - depth);
    node.ends = low.size() == shared;  // it sorts first
    if (node.ends) continue;
    const auto first_child = static_cast<std::uint32_t>(nodes_.size());
    std::uint32_t child = first_child;
    for (const std::string_view* from = first; from != last; ++child) {
      const std::string_view* to = from + 1;
      while (to != last && (*to)[shared] == (*from)[shared]) ++to;
      parting_bytes_.push_back((*from)[shared]);
      stack.push_back({from, to, shared + 1, child});
      from = to;
    }
    nodes_[at].first_child = first_child;
    nodes_[at].children = child - first_child;
    nodes_.resize(child);
  }
  return root;
}

bool KeywordTrie::begins(std::uint32_t root, const char* text, std::size_t fits) const {
  std::size_t depth = 0;
  std::uint32_t at = root;
  while (true) {
    const Node& node = nodes_[at];
    if (node.shared_size > fits - depth ||
        std::memcmp(text + depth, node.shared, node.shared_size) != 0) {
      return false;
    }
    depth += node.shared_size;
    if (node.ends) return true;
    if (depth == fits) return false;
    const char* const parting = parting_bytes_.data() + node.first_child;
    const void* found = std::memchr(parting, text[depth], node.children);
    if (found == nullptr) return false;
    at = node.first_child + static_cast<std::uint32_t>(static_cast<const char*>(found) - parting);
    ++depth;
  }
}

}  // namespace korvidan::conditions
