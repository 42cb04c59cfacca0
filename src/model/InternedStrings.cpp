#include "model/InternedStrings.h"

TInternedStrings& TInternedStrings::Senders() {
  static TInternedStrings list(false);
  return list;
}

TInternedStrings& TInternedStrings::References() {
  static TInternedStrings list(true);
  return list;
}

TInternedStrings::TId TInternedStrings::Intern(QByteArrayView text) {
  if (text.isEmpty()) return 0;
  std::lock_guard lock(fLock);
  return fList.Find(text, true);
}

TInternedStrings::TId TInternedStrings::Find(QByteArrayView text) const {
  if (text.isEmpty()) return 0;
  std::lock_guard lock(fLock);
  return fList.Find(text, false);
}

std::uint32_t TInternedStrings::Count() const {
  std::lock_guard lock(fLock);
  return fList.Count();
}

std::size_t TInternedStrings::BytesAllocated() const {
  std::lock_guard lock(fLock);
  return fList.BytesAllocated();
}
