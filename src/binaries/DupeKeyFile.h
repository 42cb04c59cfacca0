#pragma once

#include <QSet>
#include <QString>

#include <cstdint>

// P.crc: the FileDupeKey values of the files a list has decoded, 4 bytes
// each, little-endian, appended as they are learned.

// The keys of P.crc; a missing or unreadable file gives the set {0}. A size
// that is not a multiple of 4 is read up to the last whole record.
QSet<std::uint32_t> LoadDupeKeys(const QString& cuePath);
// Appends keys to P.crc (created when missing); a short write is cut back so
// the file stays a whole number of records.
bool AppendDupeKeys(const QString& cuePath, const QList<std::uint32_t>& keys);
