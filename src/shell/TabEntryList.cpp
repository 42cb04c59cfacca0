#include "shell/TabEntryList.h"

#include "shell/TabPage.h"
#include "shell/TabSheet.h"

TTabEntry* TTabEntryList::Add() {
  auto entry = std::make_unique<TTabEntry>();
  entry->id = fNextId++;
  fEntries.push_back(std::move(entry));
  return fEntries.back().get();
}

bool TTabEntryList::Remove(const TTabEntry* entry) {
  for (auto it = fEntries.begin(); it != fEntries.end(); ++it) {
    if (it->get() != entry) continue;
    if (newsgroupsBrowser == entry) newsgroupsBrowser = nullptr;
    if (headersManager == entry) headersManager = nullptr;
    fEntries.erase(it);
    return true;
  }
  return false;
}

int TTabEntryList::IndexOf(const TTabEntry* entry) const {
  for (int i = 0; i < Count(); ++i)
    if (At(i) == entry) return i;
  return -1;
}

TTabEntry* TTabEntryList::FindById(quint64 id) const {
  for (const auto& e : fEntries)
    if (e->id == id) return e.get();
  return nullptr;
}

TTabEntry* TTabEntryList::FindBySheet(const QWidget* sheet) const {
  for (const auto& e : fEntries)
    if (e->sheet == sheet) return e.get();
  return nullptr;
}

TTabEntry* TTabEntryList::FindByForm(const QWidget* form) const {
  for (const auto& e : fEntries)
    if (static_cast<const QWidget*>(e->form) == form) return e.get();
  return nullptr;
}
