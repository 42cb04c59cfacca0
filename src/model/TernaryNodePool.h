#pragma once

#include <cstdint>
#include <vector>

// A node of the ternary search trees: links are 1-based slot numbers in the
// tree's pool (0 = none), which halves the node against pointers. A key is one
// node per byte and a terminal node with split 0, whose eq link is reused as
// the head of the key's item chain (1-based item number).
struct TTernaryNode {
  std::uint32_t lo = 0;
  std::uint32_t eq = 0;
  std::uint32_t hi = 0;
  std::uint8_t split = 0;
};
static_assert(sizeof(TTernaryNode) == 16);

// Hands out zeroed node slots from blocks of a fixed number of nodes; nodes
// are never freed one by one, only all together by Clear.
class TTernaryNodePool {
 public:
  TTernaryNodePool() = default;
  ~TTernaryNodePool();
  TTernaryNodePool(const TTernaryNodePool&) = delete;
  TTernaryNodePool& operator=(const TTernaryNodePool&) = delete;

  // Frees every block and starts over with n nodes per block (one block
  // allocated at once). n = 0 logs "Blocksize cannot be zero" and is refused.
  bool SetBlockSize(int n);
  // The number of a fresh slot; 0 (and a logged error) when the block size
  // was never set or memory runs out.
  std::uint32_t GetNode();
  TTernaryNode& Node(std::uint32_t slot) { return fBlocks[(slot - 1) / fNodesPerBlock][(slot - 1) % fNodesPerBlock]; }
  const TTernaryNode& Node(std::uint32_t slot) const {
    return fBlocks[(slot - 1) / fNodesPerBlock][(slot - 1) % fNodesPerBlock];
  }
  // Frees all blocks; the next GetNode starts a new one.
  void Clear();

  int BlockSize() const { return static_cast<int>(fNodesPerBlock); }
  int BlockCount() const { return static_cast<int>(fBlocks.size()); }
  std::uint64_t TotalSlots() const { return fTotal; }

 private:
  bool NewBlock();

  std::vector<TTernaryNode*> fBlocks;
  std::uint32_t fNodesPerBlock = 0;
  std::uint32_t fUsed = 0;  // slots used in the last block
  std::uint64_t fTotal = 0;
};
