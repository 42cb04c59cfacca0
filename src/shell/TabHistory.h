#pragma once

#include <QList>

#include <functional>

// The order in which tabs were visited, by entry identity; at most 15 visits.
class TTabHistory {
 public:
  static constexpr int kMaxVisits = 15;

  // Appends the visit unless it is already the last one; the oldest goes
  // when the list is full.
  void Visit(quint64 id);
  // Forgets every visit of the tab.
  void Remove(quint64 id);
  // The tab to show when `closing` goes: visits are taken off the end until
  // one is another tab that still exists; 0 when none is left.
  quint64 TakePrevious(quint64 closing, const std::function<bool(quint64)>& exists);

  const QList<quint64>& Visits() const { return fVisits; }
  void Clear() { fVisits.clear(); }

 private:
  QList<quint64> fVisits;
};
