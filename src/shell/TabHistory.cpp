#include "shell/TabHistory.h"

void TTabHistory::Visit(quint64 id) {
  if (!fVisits.isEmpty() && fVisits.last() == id) return;
  fVisits.append(id);
  while (fVisits.size() > kMaxVisits) fVisits.removeFirst();
}

void TTabHistory::Remove(quint64 id) { fVisits.removeAll(id); }

quint64 TTabHistory::TakePrevious(quint64 closing, const std::function<bool(quint64)>& exists) {
  while (!fVisits.isEmpty()) {
    const quint64 id = fVisits.takeLast();
    if (id != closing && exists(id)) return id;
  }
  return 0;
}
