#pragma once

#include "app/ReturnCodes.h"
#include "binaries/DownloadEntry.h"
#include "binaries/QueueWriter.h"

#include <QString>

#include <functional>

struct TNzbSegment;
class TNZBImporter;

// Turns one NZB file into a download list: one entry per segment, written
// through TQueueWriter with "ForceDisplayBytes" on. The new list replaces an
// older one of the same name only when the whole NZB was read and written;
// its statistics, keys, groups and connections are kept.
class TImportNZB {
 public:
  // Called with the text length and the position reached, at most every 100 ms.
  using TProgress = std::function<void(qint64 length, qint64 position)>;

  TImportNZB(const QString& nzbPath, const QString& cuePath) : fNzbPath(nzbPath), fCuePath(cuePath) {}

  TProgress OnProgress;
  // The decode directory written into P.cui; empty: the program settings
  // ("gSaveNZBPath", plus the NZB's name with "gCreateSubdirWhenImportingNZB").
  QString DecodePath;

  // RC_SUCCESS; RC_FAILED_INITALIZATION when the list cannot be created;
  // RC_EXCEPTION_TRIGGERED when reading raised; RC_OPERATION_FAILED for any
  // other failure of the reader (ErrorText() says which).
  RETURN_CODES Execute();
  QString ErrorText() const { return fError; }
  int Records() const { return static_cast<int>(fWriter.TotalPosts()); }
  int SkippedSegments() const { return fSkipped; }

  // The decode directory the program settings give for an NZB file.
  static QString DefaultDecodePath(const QString& nzbPath);
  // The download list an NZB file is imported into: the download lists
  // directory + the NZB's name (cleaned) + ".cue".
  static QString ListPathFor(const QString& nzbPath, const QString& downloadListsDir);
  // The record of one segment; subject receives the subject to store.
  static TDownloadEntry SegmentRecord(const TNzbSegment& segment, QByteArray& subject);

 private:
  void Segment(TNZBImporter* sender, const TNzbSegment& segment, qint64 length, qint64 position);

  QString fNzbPath;
  QString fCuePath;
  QString fError;
  TQueueWriter fWriter;
  qint64 fLastProgress = 0;
  int fSkipped = 0;
};

// Imports an NZB file into cuePath; false on any failure (logged "Importing
// NZB file failed."), in which case no list was created or changed. progress,
// when given, hears how far the reading is.
bool ImportNZBFile(const QString& nzbPath, const QString& cuePath, QString* errorText = nullptr,
                   const TImportNZB::TProgress& progress = {});
