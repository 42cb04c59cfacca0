#include "model/FixedKeyTree.h"

TFixedKeyTree::TFixedKeyTree(std::size_t keyLength, int blockSize) : fKeyLength(keyLength) {
  fPool.SetBlockSize(blockSize);
}

bool TFixedKeyTree::Insert(const void* key) {
  if (!fKeyLength) return false;
  const auto* bytes = static_cast<const unsigned char*>(key);
  std::uint32_t* link = &fRoot;
  bool created = false;
  for (std::size_t pos = 0;;) {
    const unsigned char c = bytes[pos];
    if (!*link) {
      const std::uint32_t fresh = fPool.GetNode();
      if (!fresh) return false;
      fPool.Node(fresh).split = c;
      *link = fresh;
      created = true;
    }
    TTernaryNode& n = fPool.Node(*link);
    if (c < n.split) {
      link = &n.lo;
    } else if (c > n.split) {
      link = &n.hi;
    } else {
      if (++pos == fKeyLength) break;
      link = &n.eq;
    }
  }
  fCount += created;
  return true;
}

bool TFixedKeyTree::Contains(const void* key) const {
  if (!fKeyLength) return false;
  const auto* bytes = static_cast<const unsigned char*>(key);
  std::uint32_t node = fRoot;
  std::size_t pos = 0;
  while (node) {
    const TTernaryNode& n = fPool.Node(node);
    const unsigned char c = bytes[pos];
    if (c < n.split) {
      node = n.lo;
    } else if (c > n.split) {
      node = n.hi;
    } else {
      if (++pos == fKeyLength) return true;
      node = n.eq;
    }
  }
  return false;
}

void TFixedKeyTree::Clear() {
  fPool.Clear();
  fRoot = 0;
  fCount = 0;
}
