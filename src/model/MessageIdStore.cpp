#include "model/MessageIdStore.h"

#include "app/Logger.h"

#include <cstdlib>
#include <cstring>

TMessageIdStore::~TMessageIdStore() { Clear(); }

void TMessageIdStore::Clear() {
  for (char* block : fBlocks) std::free(block);
  fBlocks.clear();
  fUsed = 0;
}

bool TMessageIdStore::Append(std::string_view bytes, TRef& ref) {
  ref = 0;
  if (bytes.empty()) return true;
  if (bytes.size() > kMaxLength) return false;
  // Length prefix: one byte below 255, else 255 and two bytes.
  const std::size_t prefix = bytes.size() < 255 ? 1 : 3;
  const std::size_t need = prefix + bytes.size();
  if (fBlocks.empty() || fUsed + need > kBlockSize) {
    if (fBlocks.size() >= kMaxBlocks) {
      LogError("Message identifier store is full");
      return false;
    }
    char* block = static_cast<char*>(std::malloc(kBlockSize));
    if (!block) {
      LogError("Out of memory for message identifiers");
      return false;
    }
    fBlocks.push_back(block);
    fUsed = fBlocks.size() == 1 ? 1 : 0;  // offset 0 of the first block means "empty"
  }
  char* at = fBlocks.back() + fUsed;
  if (prefix == 1) {
    at[0] = static_cast<char>(bytes.size());
  } else {
    at[0] = static_cast<char>(255);
    at[1] = static_cast<char>(bytes.size() & 0xFF);
    at[2] = static_cast<char>(bytes.size() >> 8);
  }
  std::memcpy(at + prefix, bytes.data(), bytes.size());
  ref = static_cast<TRef>(((fBlocks.size() - 1) << kBlockShift) | fUsed);
  fUsed += need;
  return true;
}

std::string_view TMessageIdStore::View(TRef ref) const {
  if (!ref) return {};
  const auto* at = reinterpret_cast<const unsigned char*>(fBlocks[ref >> kBlockShift] + (ref & (kBlockSize - 1)));
  std::size_t length = at[0];
  std::size_t prefix = 1;
  if (length == 255) {
    length = at[1] | (std::size_t(at[2]) << 8);
    prefix = 3;
  }
  return std::string_view(reinterpret_cast<const char*>(at + prefix), length);
}
