#include "model/IterativeTree.h"

#include "app/Logger.h"

#include <new>

TIterativeTree::TIterativeTree(int blockSize) { fPool.SetBlockSize(blockSize); }

std::uint32_t TIterativeTree::Insert(std::uint32_t root, QByteArrayView key, void* object, void* tag, bool withItem,
                                     bool* ok, bool* added) {
  if (ok) *ok = true;
  if (added) *added = false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
  const std::size_t length = static_cast<std::size_t>(key.size());
  std::uint32_t top = root;
  std::uint32_t* link = &top;
  std::size_t pos = 0;
  for (;;) {
    const unsigned char c = pos < length ? bytes[pos] : 0;
    if (!*link) {
      const std::uint32_t fresh = fPool.GetNode();
      if (!fresh) {
        if (ok) *ok = false;
        return root;
      }
      fPool.Node(fresh).split = c;
      *link = fresh;  // pool blocks never move, so link stays valid
      if (c == 0) {
        if (added) *added = true;
        if (pos > fLongestKey) fLongestKey = pos;
      }
    }
    TTernaryNode& n = fPool.Node(*link);
    if (c < n.split) {
      link = &n.lo;
    } else if (c > n.split) {
      link = &n.hi;
    } else if (c != 0) {
      link = &n.eq;
      ++pos;
    } else {
      if (object || tag || withItem) {
        try {
          fItems.push_back({tag, object, n.eq});
        } catch (const std::bad_alloc&) {
          LogError("Out of memory for a ternary tree item");
          if (ok) *ok = false;
          return top;
        }
        n.eq = static_cast<std::uint32_t>(fItems.size());
      }
      return top;
    }
  }
}

std::uint32_t TIterativeTree::Find(std::uint32_t root, QByteArrayView key) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
  const std::size_t length = static_cast<std::size_t>(key.size());
  std::size_t pos = 0;
  std::uint32_t node = root;
  while (node) {
    const unsigned char c = pos < length ? bytes[pos] : 0;
    const TTernaryNode& n = fPool.Node(node);
    if (c < n.split) {
      node = n.lo;
    } else if (c > n.split) {
      node = n.hi;
    } else if (c != 0) {
      node = n.eq;
      ++pos;
    } else {
      return node;
    }
  }
  return 0;
}

void TIterativeTree::Clear(std::uint32_t /*root*/) {
  // Items and nodes live in pools of their own: dropping the pools frees all.
  std::vector<TTernaryItem>().swap(fItems);
  fPool.Clear();
  fLongestKey = 0;
}
