#pragma once

#include "model/TernaryNodePool.h"

#include <QByteArrayView>

#include <cstdint>
#include <string_view>
#include <vector>

// An item on a key's chain: newest first.
struct TTernaryItem {
  void* tag = nullptr;
  void* object = nullptr;
  std::uint32_t next = 0;  // 1-based item number, 0 = end
};

// A ternary search tree over zero-terminated byte keys (a key ends at its
// first 0 byte), with nodes from a block pool and an item chain per key.
// Keys compare as unsigned bytes. Insertion, lookup and the ordered walk are
// loops, not recursion, so long keys or lopsided trees cannot exhaust the
// stack. The caller keeps the root (a node number, 0 = empty).
class TIterativeTree {
 public:
  explicit TIterativeTree(int blockSize = 1000);

  // Adds key under root and answers the (new) root; when object or tag is
  // given, pushes an item on the key's chain. withItem pushes even when both
  // are null. On failure (logged) answers root unchanged and sets *ok false.
  std::uint32_t Insert(std::uint32_t root, QByteArrayView key, void* object, void* tag, bool withItem = false,
                       bool* ok = nullptr, bool* added = nullptr);
  // The terminal node of key, or 0 when key is not stored whole.
  std::uint32_t Find(std::uint32_t root, QByteArrayView key) const;
  // Drops every node and item.
  void Clear(std::uint32_t root);
  bool SetBlockSize(int n) { return fPool.SetBlockSize(n); }

  const TTernaryNode& Node(std::uint32_t n) const { return fPool.Node(n); }
  const TTernaryItem* Item(std::uint32_t i) const { return i ? &fItems[i - 1] : nullptr; }
  // The head of the item chain of a terminal node.
  const TTernaryItem* Items(std::uint32_t terminal) const { return terminal ? Item(fPool.Node(terminal).eq) : nullptr; }
  std::uint64_t NodeCount() const { return fPool.TotalSlots(); }
  int BlockCount() const { return fPool.BlockCount(); }
  std::size_t LongestKey() const { return fLongestKey; }

  // Calls visit(key, terminal) for every key in ascending byte order, a key
  // before the longer keys it prefixes; key points into buffer.
  template <typename TVisit>
  void Walk(std::uint32_t root, std::vector<char>& buffer, TVisit&& visit) const;

 private:
  TTernaryNodePool fPool;
  std::vector<TTernaryItem> fItems;
  std::size_t fLongestKey = 0;
};

template <typename TVisit>
void TIterativeTree::Walk(std::uint32_t root, std::vector<char>& buffer, TVisit&& visit) const {
  if (buffer.size() < fLongestKey + 1) buffer.resize(fLongestKey + 1);
  struct TFrame {
    std::uint32_t node;
    std::uint32_t depth;
    std::uint8_t state;
  };
  std::vector<TFrame> stack;
  if (root) stack.push_back({root, 0, 0});
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const TTernaryNode& n = fPool.Node(f.node);
    const std::uint32_t depth = f.depth;
    switch (f.state++) {
      case 0:
        if (n.lo) stack.push_back({n.lo, depth, 0});
        break;
      case 1:
        buffer[depth] = static_cast<char>(n.split);
        if (n.split) {
          if (n.eq) stack.push_back({n.eq, depth + 1, 0});
        } else {
          visit(std::string_view(buffer.data(), depth), f.node);
        }
        break;
      case 2:
        if (n.hi) {
          // The frame is done: reuse it for the hi subtree.
          f = {n.hi, depth, 0};
        } else {
          stack.pop_back();
        }
        break;
    }
  }
}
