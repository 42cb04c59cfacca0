#pragma once

#include "model/TernaryList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The read marks of one newsgroup on disk: the file "<read-marks dir><newsgroup>.dat",
// a plain run of records without header or trailer:
//   offset 0      2 bytes  L, little-endian: the identifier's length + 1
//   offset 2      L - 1    the message identifier, without angle brackets
//   offset L + 1  1 byte   0x00
// Appending never looks for an identifier already there, so one may repeat;
// order means nothing. A newsgroup without marks has no file.
//
// In a loaded list every identifier's newest item carries Marked(); an
// identifier marked unread gets a newer item without it.
class TReadMarksFile {
 public:
  // Longest identifier kept: the ternary list walks keys through an 8192-byte buffer.
  static constexpr int kMaxKeyLength = 8191;

  // dir (ending with "/") + the newsgroup name made safe as a file name + ".dat";
  // an existing file is found whatever the case of its name. No name from a
  // server can point outside dir ("." and ".." included).
  static QString FileName(const QString& dir, const QString& newsgroup);

  // Clears list, then adds every identifier of the file at path with the read
  // mark. A missing file loads as empty. False when the file could not be
  // read whole or is damaged (a record cut short, a length of 0, a missing
  // 0x00): the identifiers before the damage stay in list, but the file must
  // not be rewritten from it. Identifiers longer than kMaxKeyLength are
  // passed over (logged).
  static bool Load(const QString& path, TTernaryList& list);

  // Appends one record for id to out; false (nothing appended) for an empty id
  // or one longer than kMaxKeyLength.
  static bool AppendRecord(QByteArray& out, QByteArrayView id);

  // Replaces the file at path, in one step, by the identifiers of list whose
  // newest item still carries the read mark, once each, in ascending byte
  // order; deletes it when none is left. False when it could not be written
  // (the old file then stays as it was).
  static bool Rewrite(const QString& path, const TTernaryList& list);

  // The object of the item that marks an identifier read.
  static void* Marked() { return reinterpret_cast<void*>(std::uintptr_t(1)); }
  static bool IsMarked(const TTernaryItem* newest) { return newest && newest->object == Marked(); }
  // Gives id a newer item without the mark; false when id is not in list.
  static bool Unmark(TTernaryList& list, QByteArrayView id);
};
