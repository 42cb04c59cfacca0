#include "model/TernaryNodePool.h"

#include "app/Logger.h"

#include <cstdlib>

TTernaryNodePool::~TTernaryNodePool() { Clear(); }

void TTernaryNodePool::Clear() {
  for (TTernaryNode* block : fBlocks) std::free(block);
  fBlocks.clear();
  fUsed = 0;
  fTotal = 0;
}

bool TTernaryNodePool::SetBlockSize(int n) {
  if (n <= 0) {
    LogError("Blocksize cannot be zero");
    return false;
  }
  Clear();
  fNodesPerBlock = static_cast<std::uint32_t>(n);
  return NewBlock();
}

bool TTernaryNodePool::NewBlock() {
  // Slot numbers are 32-bit: refuse a block that would run past them.
  if ((fBlocks.size() + 1) * std::uint64_t(fNodesPerBlock) >= 0xFFFFFFFFull) {
    LogError("TTernaryNodePool.GetNode: FCurrentBlock is nil");
    return false;
  }
  auto* block = static_cast<TTernaryNode*>(std::calloc(fNodesPerBlock, sizeof(TTernaryNode)));
  if (!block) {
    LogError("TTernaryNodePool.GetNode: FCurrentBlock is nil");
    return false;
  }
  fBlocks.push_back(block);
  fUsed = 0;
  return true;
}

std::uint32_t TTernaryNodePool::GetNode() {
  if (!fNodesPerBlock) {
    LogError("TTernaryNodePool.GetNode: Block size not initialized");
    return 0;
  }
  if ((fBlocks.empty() || fUsed >= fNodesPerBlock) && !NewBlock()) return 0;
  ++fTotal;
  return static_cast<std::uint32_t>((fBlocks.size() - 1) * fNodesPerBlock + fUsed++ + 1);
}
