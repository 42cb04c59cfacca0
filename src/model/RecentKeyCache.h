#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <cstring>

// A small direct-mapped cache of recently seen keys and what they stand for.
// Headers come in runs (the parts of one file, the posts of one sender), so
// most lookups are answered here by one byte comparison, without lower-casing,
// hashing or locking. A hit needs the exact bytes; a miss falls back to the
// real table, so results never differ from it. The texts cached must outlive
// the cache (they point into tables whose entries never move).
template <int Bits>
class TRecentKeyCache {
 public:
  // The value cached for key, or 0.
  std::uint32_t Find(QByteArrayView key) const {
    const TSlot& s = fSlots[Slot(key)];
    if (s.value && s.length == static_cast<std::size_t>(key.size()) && std::memcmp(s.text, key.data(), s.length) == 0)
      return s.value;
    return 0;
  }
  void Put(QByteArrayView key, const char* text, std::uint32_t value) {
    TSlot& s = fSlots[Slot(key)];
    s.text = text;
    s.length = static_cast<std::size_t>(key.size());
    s.value = value;
  }

 private:
  struct TSlot {
    const char* text = nullptr;
    std::size_t length = 0;
    std::uint32_t value = 0;
  };

  static std::size_t Slot(QByteArrayView key) {
    const std::size_t n = static_cast<std::size_t>(key.size());
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    if (n >= 8) {
      std::memcpy(&head, key.data(), 8);
      std::memcpy(&tail, key.data() + n - 8, 8);
    } else if (n) {
      std::memcpy(&head, key.data(), n);
    }
    const std::uint64_t mix = (head ^ (tail << 29 | tail >> 35) ^ n) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(mix >> (64 - Bits));
  }

  TSlot fSlots[1 << Bits];
};
