#pragma once

#include "model/IterativeTree.h"

// A set of byte keys with an object chain per key, walked in key order by its
// owner (the sorted sender list of a headers job).
class TTernaryTree {
 public:
  TTernaryTree() : fTree(1000) {}

  // Adds key when absent; with an object, pushes it on the key's chain (also
  // when the key was present). False when memory ran out (logged).
  bool Insert(QByteArrayView key, void* object = nullptr);
  bool Contains(QByteArrayView key) const { return fTree.Find(fRoot, key) != 0; }
  void SetBlockSize(int n);
  void Clear();

  std::uint32_t Root() const { return fRoot; }
  std::uint64_t NodeCount() const { return fTree.NodeCount(); }
  std::size_t KeyCount() const { return fKeys; }
  const TIterativeTree& Tree() const { return fTree; }

  // visit(std::string_view key, const TTernaryItem* items) in ascending order.
  template <typename TVisit>
  void ForEachKey(TVisit&& visit) const {
    std::vector<char> buffer(8192);
    fTree.Walk(fRoot, buffer, [&](std::string_view key, std::uint32_t terminal) { visit(key, fTree.Items(terminal)); });
  }

 private:
  TIterativeTree fTree;
  std::uint32_t fRoot = 0;
  std::size_t fKeys = 0;
};
