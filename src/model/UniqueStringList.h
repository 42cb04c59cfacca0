#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A case-insensitive table of unique byte strings: the post index of a header
// set (subject key -> post) and the program-wide interning of senders and
// reference lists.
//
// Entries live in 1 MB blocks that never move, so a text stays where it is for
// the list's life, and an entry is named by a 32-bit id (0 = none) instead of
// a pointer. Entries come one after the other in insertion order; 65536
// buckets are chosen by CRC-16 of the lower-cased key and tell entries apart by
// lookup3 hash, length and (for a real match) the lower-cased bytes.
//
// Not locked: one thread at a time (TInternedStrings adds the lock).
class TUniqueStringList {
 public:
  using TId = std::uint32_t;
  static constexpr int kBucketCount = 65536;
  static constexpr int kMaxKeyLength = 65535;

  // A case-sensitive list compares exact bytes (for texts made of message
  // identifiers, which differ by case).
  explicit TUniqueStringList(bool caseSensitive = false);
  ~TUniqueStringList();
  TUniqueStringList(const TUniqueStringList&) = delete;
  TUniqueStringList& operator=(const TUniqueStringList&) = delete;

  // The entry whose key equals key ignoring ASCII letter case (exactly, for a
  // case-sensitive list). When absent and
  // add is set, a new entry keeps key in its own letter case. An empty key, or
  // one of more than 65535 bytes, is never found or added: 0.
  TId Find(QByteArrayView key, bool add, bool* added = nullptr);

  std::string_view Text(TId id) const;
  // The text, zero-terminated ("" for 0).
  const char* TextData(TId id) const;
  std::uint32_t Object(TId id) const;
  void SetObject(TId id, std::uint32_t object);

  // Insertion order: First(), then Next() until 0.
  TId First() const;
  TId Next(TId id) const;
  std::uint32_t Count() const { return fCount; }

  void Clear();
  // Memory held: blocks in use, buckets and the work buffer.
  std::size_t BytesAllocated() const;

 private:
  struct TEntry {
    std::uint32_t nextInBucket;
    std::uint32_t hash;
    std::uint32_t object;
    std::uint16_t length;
    char text[2];  // length + 1 bytes in fact
  };
  static constexpr std::size_t kTextOffset = offsetof(TEntry, text);
  static constexpr int kBlockShift = 18;  // in 4-byte units: 1 MB blocks
  static constexpr std::uint32_t kBlockUnits = 1u << kBlockShift;
  static constexpr std::uint32_t kMaxBlocks = 1u << (32 - kBlockShift);

  static std::uint32_t UnitsFor(std::size_t length) {
    return static_cast<std::uint32_t>((kTextOffset + length + 1 + 3) / 4);
  }
  TEntry* EntryAt(TId id) const {
    return reinterpret_cast<TEntry*>(fBlocks[id >> kBlockShift] + std::size_t(id & (kBlockUnits - 1)) * 4);
  }
  TId Allocate(std::uint32_t units);

  std::uint32_t* fBuckets = nullptr;
  char** fBlocks = nullptr;               // fixed directory: readers never see it move
  std::vector<std::uint32_t> fBlockUsed;  // units used per block
  std::uint32_t fCount = 0;
  unsigned char* fWork = nullptr;  // lower-case copy of the key being looked up
  std::size_t fWorkCapacity = 0;
  bool fCaseSensitive;
};
