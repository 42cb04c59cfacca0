#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

// Threads the rows of a download list by their References, for the decoder
// tab's grid: same parent rule as the header sets' threader (last reference
// found wins), replies in date order, one tree in the end (later top-level
// rows move under the first), rows listed depth first with their depth.
class TMessageThreader {
 public:
  void SetCount(int count);
  // item: the caller's handle of the row; date: days since 30 December 1899.
  void SetEntry(int i, std::intptr_t item, double date, QByteArrayView references, QByteArrayView messageId);
  void Thread();

  // The rows in tree order.
  int Count() const { return static_cast<int>(fRows.size()); }
  std::intptr_t Item(int row) const { return fEntries[fRows[row].entry].item; }
  int Depth(int row) const { return fRows[row].depth; }

 private:
  struct TEntry {
    std::intptr_t item = 0;
    double date = 0;
    QByteArray references;
    QByteArray messageId;
    int parent = -1;
    int nextSibling = -1;
    int firstChild = -1;
  };
  struct TRow {
    int entry;
    int depth;
  };

  void AddChild(int parent, int child);
  void Detach(int child);
  void Mark(int from, std::vector<unsigned char>& reached) const;

  std::vector<TEntry> fEntries;  // plus one more: the invisible top node
  std::vector<TRow> fRows;
};
