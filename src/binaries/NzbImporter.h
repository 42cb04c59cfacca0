#pragma once

#include "app/ReturnCodes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// One segment (article) of an NZB file, with the values of its file.
struct TNzbSegment {
  double date = 0;  // the file's date, days since 30 December 1899 (0 unknown)
  std::uint32_t bytes = 0;
  std::uint16_t number = 0;
  QByteArray subject;    // the file's subject, UTF-8
  QByteArray messageId;  // without angle brackets
  QByteArray newsgroup;  // the file's first group
  // The file's number of segments and the highest segment number in it.
  int fileSegments = 0;
  int fileMaxNumber = 0;
};

// Reads an NZB file (plain or gzip-compressed XML) with QXmlStreamReader and
// reports every segment through OnSegment, in file order, once the whole
// file has been read and found sound: a file that is not well-formed XML, is
// not an NZB, or has a file element without subject, group or segments is
// refused before anything is reported.
//
// Numbers from the file are clamped to their fields: bytes to 32 bits, the
// segment number to 16 bits (a missing or invalid number is the segment's
// place in its file), the date to the years the short date can hold.
class TNZBImporter {
 public:
  // position: characters of the text read up to the segment, of textLength.
  using TSegmentEvent =
      std::function<void(TNZBImporter* sender, const TNzbSegment& segment, qint64 textLength, qint64 position)>;

  explicit TNZBImporter(const QString& fileName) : fFileName(fileName) {}

  TSegmentEvent OnSegment;

  // RC_SUCCESS; RC_NOT_READY without OnSegment; RC_FILE_NOT_FOUND;
  // RC_LOAD_FAILED when the file cannot be read or unpacked; RC_EMPTY for an
  // empty file or one without any segment; RC_BAD_INPUT_DATA for a file that
  // is not a sound NZB. ErrorText() says why.
  RETURN_CODES Execute();
  QString ErrorText() const { return fError; }
  int FileCount() const { return fFiles; }
  int SegmentCount() const { return static_cast<int>(fSegments.size()); }
  // Segments left out for an empty or unusable message-id.
  int SkippedSegments() const { return fSkipped; }

  // Largest NZB read (after unpacking): bigger files are refused.
  static constexpr qint64 kMaxSize = 512LL * 1024 * 1024;

 private:
  struct TPlaced {
    TNzbSegment segment;
    qint64 position = 0;
  };
  RETURN_CODES Parse(const QByteArray& data, bool asLatin1);

  QString fFileName;
  QString fError;
  std::vector<TPlaced> fSegments;
  qint64 fTextLength = 0;
  int fFiles = 0;
  int fSkipped = 0;
};

// The bytes of a gzip stream unpacked, at most maxSize; false when the data
// is not a whole gzip stream or unpacks to more.
bool GunzipBytes(const QByteArray& packed, qint64 maxSize, QByteArray& out);
