#include "binaries/QueueWriter.h"

#include "app/Logger.h"
#include "binaries/DownloadListSettings.h"

using namespace Qt::StringLiterals;

bool TQueueWriter::Open(const QString& cuePath) {
  LOG_METHOD("TQueueWriter.Open");
  Abandon();
  fPath = cuePath;
  fError.clear();
  fTotalPosts = fTotalMessages = fTotalSingle = fTotalMulti = 0;
  RecoverDownloadListFiles(cuePath);
  if (!fCue.Open(CueTempPath(cuePath))) {
    fError = u"Cannot create "_s + fCue.Path() + u": "_s + fCue.ErrorString();
    LogError(fError);
    return false;
  }
  if (!fBody.Open(BodyTempPath(cuePath))) {
    fError = u"Cannot create "_s + fBody.Path() + u": "_s + fBody.ErrorString();
    LogError(fError);
    fCue.Discard();
    return false;
  }
  return true;
}

bool TQueueWriter::Write(const TDownloadEntry& entry, QByteArrayView subject, QByteArrayView newsgroup,
                         QByteArrayView messageId) {
  if (!fCue.IsOpen() || !fBody.IsOpen()) return false;
  char record[TDownloadEntry::kRecordSize];
  entry.ToRecord(record);
  fLines.clear();
  fLines += BodyLineText(messageId);
  fLines += "\r\n";
  fLines += BodyLineText(subject);
  fLines += "\r\n";
  fLines += BodyLineText(newsgroup);
  fLines += "\r\n";
  if (!fCue.Write(QByteArrayView(record, sizeof record)) || !fBody.Write(fLines)) {
    fError = u"Error writing download list "_s + fPath;
    return false;
  }
  ++fTotalPosts;
  fTotalMessages += entry.postCount;
  const int kind = entry.Kind();
  if (kind == 0) ++fTotalSingle;
  if (kind == 1) ++fTotalMulti;
  return true;
}

bool TQueueWriter::Close() {
  LOG_METHOD("TQueueWriter.Close");
  if (!fCue.IsOpen() || !fBody.IsOpen()) return false;
  const bool cueOk = fCue.Finish();
  const bool bodyOk = fBody.Finish();
  if (!cueOk || !bodyOk) {
    fError = u"Error writing download list "_s + fPath + u": "_s + (cueOk ? fBody.ErrorString() : fCue.ErrorString());
    LogError(fError);
    Abandon();
    return false;
  }
  if (!CommitDownloadListFiles(fPath, fCue.Path(), fBody.Path(), &fError)) return false;
  return true;
}

void TQueueWriter::Abandon() {
  fCue.Discard();
  fBody.Discard();
  if (!fPath.isEmpty()) {
    QFile::remove(CueTempPath(fPath));
    QFile::remove(BodyTempPath(fPath));
  }
}

bool TQueueWriter::WriteSettings(const QString& decodePath) {
  TDownloadListSettings s;
  s.DecodePath = decodePath;
  s.ForceDisplayBytes = ForceDisplayBytes;
  s.TotalMessages = fTotalMessages;
  s.TotalSingle = fTotalSingle;
  s.TotalMulti = fTotalMulti;
  s.TotalPosts = fTotalPosts;
  if (!s.Write(fPath)) {
    fError = u"Cannot write "_s + DownloadListFile(fPath, ".cui");
    LogError(fError);
    return false;
  }
  return true;
}
