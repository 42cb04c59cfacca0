#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The message identifiers of one header set, plain or in difference form,
// packed one after another with a length prefix in 1 MB blocks that never
// move. An identifier is named by a 32-bit reference (0 = empty), which keeps
// article records free of pointers. Up to 4 GB per header set.
class TMessageIdStore {
 public:
  using TRef = std::uint32_t;
  static constexpr std::size_t kMaxLength = 65535;

  TMessageIdStore() = default;
  ~TMessageIdStore();
  TMessageIdStore(const TMessageIdStore&) = delete;
  TMessageIdStore& operator=(const TMessageIdStore&) = delete;

  // Stores bytes (at most kMaxLength); false when the store is full or out of
  // memory. An empty text is reference 0 and takes no room.
  bool Append(std::string_view bytes, TRef& ref);
  std::string_view View(TRef ref) const;

  void Clear();
  std::size_t BytesAllocated() const { return fBlocks.size() * kBlockSize; }
  std::size_t BytesUsed() const { return fBlocks.empty() ? 0 : (fBlocks.size() - 1) * kBlockSize + fUsed; }

 private:
  static constexpr int kBlockShift = 20;
  static constexpr std::size_t kBlockSize = std::size_t(1) << kBlockShift;
  static constexpr std::size_t kMaxBlocks = std::size_t(1) << (32 - kBlockShift);

  std::vector<char*> fBlocks;
  std::size_t fUsed = 0;  // bytes used in the last block
};
