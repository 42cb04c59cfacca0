#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// A sized bit set: which servers have tried an article. FirstClear is the
// first server not yet tried (Size() when all have).
class TMyBits {
 public:
  void SetSize(int size) {
    fSize = size < 0 ? 0 : size;
    fWords.assign(static_cast<std::size_t>((fSize + 63) / 64), 0);
  }
  int Size() const { return fSize; }
  void ClearAll() { std::fill(fWords.begin(), fWords.end(), 0); }
  void Set(int index, bool on = true) {
    if (index < 0 || index >= fSize) return;
    const std::uint64_t bit = std::uint64_t(1) << (index % 64);
    auto& word = fWords[static_cast<std::size_t>(index / 64)];
    word = on ? (word | bit) : (word & ~bit);
  }
  bool Test(int index) const {
    if (index < 0 || index >= fSize) return false;
    return (fWords[static_cast<std::size_t>(index / 64)] >> (index % 64)) & 1;
  }
  int FirstClear() const {
    for (std::size_t w = 0; w < fWords.size(); ++w) {
      if (fWords[w] == ~std::uint64_t(0)) continue;
      const int index = static_cast<int>(w * 64) + __builtin_ctzll(~fWords[w]);
      return index < fSize ? index : fSize;
    }
    return fSize;
  }

 private:
  int fSize = 0;
  std::vector<std::uint64_t> fWords;
};
