#pragma once

#include "binaries/DownloadEntry.h"
#include "binaries/DownloadListFiles.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Creates a new download list (the browser's export, the NZB import): the
// records and texts go to temporaries, and Close puts P.cue and P.body in
// place together. Until then an older list of the same name is untouched,
// and a writer dropped without Close leaves it as it was.
class TQueueWriter {
 public:
  TQueueWriter() = default;
  ~TQueueWriter() { Abandon(); }
  TQueueWriter(const TQueueWriter&) = delete;
  TQueueWriter& operator=(const TQueueWriter&) = delete;

  bool ForceDisplayBytes = false;

  bool Open(const QString& cuePath);
  // Appends the record and its three lines. Control characters in the texts
  // become blanks so the lines stay three per record.
  bool Write(const TDownloadEntry& entry, QByteArrayView subject, QByteArrayView newsgroup, QByteArrayView messageId);
  // Flushes both files and puts them in place.
  bool Close();
  // Drops the temporaries; an older list stays.
  void Abandon();
  // Writes a fresh P.cui: ForceDisplayBytes, the four totals and the decode
  // directory (empty: the program's default).
  bool WriteSettings(const QString& decodePath = {});

  QString ErrorText() const { return fError; }
  std::int64_t TotalPosts() const { return fTotalPosts; }
  std::int64_t TotalMessages() const { return fTotalMessages; }
  std::int64_t TotalSingle() const { return fTotalSingle; }
  std::int64_t TotalMulti() const { return fTotalMulti; }

 private:
  QString fPath;
  QString fError;
  TListTempFile fCue;
  TListTempFile fBody;
  QByteArray fLines;
  std::int64_t fTotalPosts = 0;
  std::int64_t fTotalMessages = 0;
  std::int64_t fTotalSingle = 0;
  std::int64_t fTotalMulti = 0;
};
