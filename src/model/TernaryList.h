#pragma once

#include "model/IterativeTree.h"

#include <cstdint>
#include <functional>

// What ForEach reports per key.
struct TTernaryWalkRecord {
  int index = 0;              // 0 for the first key
  const char* key = nullptr;  // zero-terminated, valid during the call
  int keyLength = 0;
  const TTernaryItem* items = nullptr;  // newest first
  std::uint32_t terminal = 0;
  std::uintptr_t value = 0;  // as given to ForEach
};

// A set of byte keys with a tagged object chain per key, looked up exactly
// and walked in ascending order (the read marks of a newsgroup).
class TTernaryList {
 public:
  TTernaryList() : fTree(1000) {}

  // Empties the list (also before every load).
  void Clear();
  // Adds key; with an object or tag, pushes an item {tag, object} on its
  // chain. Counts every call, as a load adds each key once. False when memory
  // ran out (logged).
  bool Add(QByteArrayView key, void* object = nullptr, void* tag = nullptr);
  // The terminal node of key, 0 when absent (a prefix of stored keys is absent).
  std::uint32_t Find(QByteArrayView key) const { return fTree.Find(fRoot, key); }
  // The newest item of key, null when the key is absent or has none.
  const TTernaryItem* Items(QByteArrayView key) const { return fTree.Items(Find(key)); }
  int Count() const { return fCount; }

  // Calls callback once per key in ascending byte order; false without a
  // callback, true otherwise.
  bool ForEach(std::uintptr_t value, const std::function<void(const TTernaryWalkRecord&)>& callback) const;

  const TIterativeTree& Tree() const { return fTree; }

 private:
  TIterativeTree fTree;
  std::uint32_t fRoot = 0;
  int fCount = 0;
};
