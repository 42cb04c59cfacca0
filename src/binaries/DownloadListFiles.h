#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

// The files of one download list share a base path P and differ in their
// extension: P.cue, P.body, P.cui, P.stats, P.crc, P.grouping, P.srv.
//
// P.cue and P.body belong together (record i of the one pairs with lines
// 3i+1..3i+3 of the other), so they are replaced as a pair: both are written
// under temporary names and flushed, then P.body.new and P.cue.new are put in
// place in that order. P.cue.new existing is the commit point; a crash before
// it leaves the old pair, a crash after it is completed by the next load.

// P from the path of P.cue (the name without its last extension).
QString DownloadListBase(const QString& cuePath);
// P + extension (extension with its dot: ".cui").
QString DownloadListFile(const QString& cuePath, const char* extension);
// The list's name: the file name without its extension.
QString DownloadListName(const QString& cuePath);

// Finishes or undoes a replacement of P.cue and P.body cut short by a crash,
// and removes temporaries. Loaders call it first.
void RecoverDownloadListFiles(const QString& cuePath);

// A temporary file beside its target, written in large blocks and flushed to
// disk before it is committed.
class TListTempFile {
 public:
  TListTempFile() = default;
  ~TListTempFile() { Discard(); }
  TListTempFile(const TListTempFile&) = delete;
  TListTempFile& operator=(const TListTempFile&) = delete;

  bool Open(const QString& tempPath);
  bool Write(QByteArrayView data);
  // Writes what is buffered, flushes to disk and closes.
  bool Finish();
  void Discard();
  bool IsOpen() const { return fFile.isOpen(); }
  QString ErrorString() const { return fError; }
  const QString& Path() const { return fPath; }

 private:
  bool FlushBuffer();

  QFile fFile;
  QString fPath;
  QString fError;
  QByteArray fBuffer;
  bool fFailed = false;
};

// Puts finished temporaries in place as P.cue (and P.body when bodyTemp is
// not empty). On failure the old files stay and the temporaries are removed.
bool CommitDownloadListFiles(const QString& cuePath, const QString& cueTemp, const QString& bodyTemp,
                             QString* error = nullptr);
QString CueTempPath(const QString& cuePath);
QString BodyTempPath(const QString& cuePath);

// Removes P.cue, P.cui, P.log, P.lck, P.temp, P.seek and P.txt (and the
// temporaries of an unfinished save); with texts also P.body; with everything
// also P.stats, P.crc, P.srv and P.grouping.
void DeleteDownloadList(const QString& cuePath, bool withTexts, bool everything);

// rename(2): replaces an existing target in one step (QFile::rename refuses).
bool ReplaceFile(const QString& from, const QString& to);
