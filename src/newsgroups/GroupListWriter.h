#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cstdint>

// Writes a group list pair while a server reply streams in. Nothing replaces
// an existing list until Finish() has checked that every byte reached the disk.
class TGroupListWriter {
 public:
  TGroupListWriter() = default;
  ~TGroupListWriter();

  // Creates (truncating) base + ".gnam" and base + ".gdat" with the data header.
  bool Open(const QString& base);
  // Appends a group; names over 253 bytes cannot be stored and are skipped.
  // Names are stored in lower case.
  bool Append(QByteArrayView name, std::int32_t newCount, std::int32_t total);
  // Flushes and closes; false when any write failed.
  bool Finish();
  // Closes and deletes both files.
  void Discard();

  // Whether a write has failed since Open (the files are then incomplete).
  bool Failed() const { return fFailed; }
  std::int64_t Count() const { return fCount; }
  std::int64_t Skipped() const { return fSkipped; }
  QString NamesPath() const { return fNames.fileName(); }
  QString DataPath() const { return fData.fileName(); }

 private:
  bool Flush();

  QFile fNames;
  QFile fData;
  QByteArray fNameBuffer;
  QByteArray fDataBuffer;
  std::int64_t fCount = 0;
  std::int64_t fSkipped = 0;
  bool fFailed = false;
  bool fOpen = false;
};
