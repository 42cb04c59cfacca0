#pragma once

#include "shell/TabEntry.h"

#include <memory>
#include <vector>

class QWidget;

// The entries of the main window in creation order; creates and frees them.
class TTabEntryList {
 public:
  TTabEntry* Add();
  // Frees the entry; false when it is not in the list.
  bool Remove(const TTabEntry* entry);

  int Count() const { return static_cast<int>(fEntries.size()); }
  TTabEntry* At(int i) const { return fEntries[static_cast<size_t>(i)].get(); }
  int IndexOf(const TTabEntry* entry) const;
  TTabEntry* FindById(quint64 id) const;
  TTabEntry* FindBySheet(const QWidget* sheet) const;
  TTabEntry* FindByForm(const QWidget* form) const;

  // The two permanent entries, remembered apart.
  TTabEntry* newsgroupsBrowser = nullptr;
  TTabEntry* headersManager = nullptr;

 private:
  std::vector<std::unique_ptr<TTabEntry>> fEntries;
  quint64 fNextId = 1;
};
