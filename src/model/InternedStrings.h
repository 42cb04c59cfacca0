#pragma once

#include "model/UniqueStringList.h"

#include <mutex>

// A program-wide interning table: one text per distinct string, named by a
// 32-bit id. Senders are told apart ignoring letter case; reference lists by
// their exact bytes, as message identifiers differing in case are different. Two exist from start to exit and are
// never cleared: senders (From) and reference lists (References). Header sets
// loading in several tabs at once intern into them, so lookups and additions
// are serialised by one lock; reading a text by id needs no lock, because
// entries never move or go away.
class TInternedStrings {
 public:
  using TId = TUniqueStringList::TId;

  static TInternedStrings& Senders();
  static TInternedStrings& References();

  // The id of text, added when new; 0 for an empty text (or when the table
  // cannot grow any more, which is logged).
  TId Intern(QByteArrayView text);
  // The id of text when present, else 0.
  TId Find(QByteArrayView text) const;
  std::string_view Text(TId id) const { return fList.Text(id); }
  std::uint32_t Count() const;
  std::size_t BytesAllocated() const;

 private:
  explicit TInternedStrings(bool caseSensitive) : fList(caseSensitive) {}

  mutable std::mutex fLock;
  mutable TUniqueStringList fList;
};
