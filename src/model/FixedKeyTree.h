#pragma once

#include "model/TernaryNodePool.h"

#include <cstddef>
#include <cstdint>

// A set of keys of exactly n bytes each (n fixed per set, 4 for CRC-32
// values), kept as a ternary tree; any byte value may occur in a key.
class TFixedKeyTree {
 public:
  explicit TFixedKeyTree(std::size_t keyLength, int blockSize = 1000);

  // False when memory ran out (logged).
  bool Insert(const void* key);
  bool Contains(const void* key) const;
  void Clear();
  std::size_t KeyLength() const { return fKeyLength; }
  std::size_t Count() const { return fCount; }

 private:
  TTernaryNodePool fPool;
  std::size_t fKeyLength;
  std::uint32_t fRoot = 0;
  std::size_t fCount = 0;
};
