#include "binaries/ImportNzb.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "binaries/NzbImporter.h"
#include "binaries/SubjectCounter.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <exception>

using namespace Qt::StringLiterals;

QString TImportNZB::DefaultDecodePath(const QString& nzbPath) {
  QString base = Settings().gSaveNZBPath;
  if (base.isEmpty()) base = Settings().NewsDecodePath;
  if (base.isEmpty()) base = Settings().DefaultDownloadDirectory;
  if (base.isEmpty()) return {};
  base = WithTrailingSlash(base);
  if (Settings().gCreateSubdirWhenImportingNZB)
    base += CleanPathComponent(QFileInfo(nzbPath).completeBaseName()) + u'/';
  return base;
}

QString TImportNZB::ListPathFor(const QString& nzbPath, const QString& downloadListsDir) {
  return WithTrailingSlash(downloadListsDir) + CleanPathComponent(QFileInfo(nzbPath).completeBaseName()) + u".cue"_s;
}

TDownloadEntry TImportNZB::SegmentRecord(const TNzbSegment& segment, QByteArray& subject) {
  TDownloadEntry e;
  e.SetKind(0);
  e.postCount = 1;
  e.date = EncodeShortDate(segment.date);
  e.bytes = segment.bytes;
  e.partNumber = segment.number;

  const QByteArray normal = NormalizeCounterBrackets(segment.subject);
  const TSubjectCounter counter = FindPartCounter(normal, true);
  std::uint16_t total = counter.total;
  QByteArray base = counter.Found() ? RemovePartCounter(normal, counter) : segment.subject;
  if (counter.Found()) e.counterPosition = static_cast<std::uint16_t>(std::min<qsizetype>(counter.start + 1, 0xFFFF));
  // A file posted in several articles without a counter in its subject is
  // still one file: give its segments a counter so they stay one post.
  if (total == 0 && segment.fileSegments > 1)
    total = static_cast<std::uint16_t>(std::min(0xFFFF, std::max(segment.fileSegments, segment.fileMaxNumber)));
  e.totalParts = total;
  if (total != 0) {
    while (!base.isEmpty() && (base.back() == ' ' || base.back() == '\t')) base.chop(1);
    if (!counter.Found()) e.counterPosition = static_cast<std::uint16_t>(std::min<qsizetype>(base.size() + 2, 0xFFFF));
    subject = base + " (" + QByteArray::number(segment.number) + '/' + QByteArray::number(total) + ')';
  } else {
    subject = segment.subject;
  }
  return e;
}

void TImportNZB::Segment(TNZBImporter*, const TNzbSegment& segment, qint64 length, qint64 position) {
  QByteArray subject;
  const TDownloadEntry e = SegmentRecord(segment, subject);
  fWriter.Write(e, subject, segment.newsgroup, segment.messageId);
  if (OnProgress) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - fLastProgress >= 100) {
      fLastProgress = now;
      OnProgress(length, position);
    }
  }
}

RETURN_CODES TImportNZB::Execute() {
  LOG_METHOD("TImportNZB.Execute");
  fError.clear();
  fWriter.ForceDisplayBytes = true;
  if (!fWriter.Open(fCuePath)) {
    fError = fWriter.ErrorText();
    return RC_FAILED_INITALIZATION;
  }
  TNZBImporter importer(fNzbPath);
  importer.OnSegment = [this](TNZBImporter* sender, const TNzbSegment& s, qint64 length, qint64 position) {
    Segment(sender, s, length, position);
  };
  RETURN_CODES rc;
  try {
    rc = importer.Execute();
  } catch (const std::exception& ex) {
    fWriter.Abandon();
    fError = u"Exception raised reading the NZB file: "_s + QString::fromUtf8(ex.what());
    LogError(fError);
    return RC_EXCEPTION_TRIGGERED;
  }
  fSkipped = importer.SkippedSegments();
  if (rc != RC_SUCCESS) {
    fWriter.Abandon();
    fError = importer.ErrorText();
    return RC_OPERATION_FAILED;
  }
  if (fWriter.TotalPosts() != importer.SegmentCount()) {
    fWriter.Abandon();
    fError = u"Error writing the download list"_s;
    return RC_FAILED_INITALIZATION;
  }
  if (!fWriter.Close()) {
    fError = fWriter.ErrorText();
    return RC_FAILED_INITALIZATION;
  }
  const QString decodePath = DecodePath.isEmpty() ? DefaultDecodePath(fNzbPath) : WithTrailingSlash(DecodePath);
  if (!fWriter.WriteSettings(decodePath)) {
    fError = fWriter.ErrorText();
    return RC_FAILED_INITALIZATION;
  }
  return RC_SUCCESS;
}

bool ImportNZBFile(const QString& nzbPath, const QString& cuePath, QString* errorText,
                   const TImportNZB::TProgress& progress) {
  LOG_METHOD("ImportNZBFile");
  TImportNZB import(nzbPath, cuePath);
  import.OnProgress = progress;
  const RETURN_CODES rc = import.Execute();
  if (rc != RC_SUCCESS) {
    LogError(u"Importing NZB file failed. ("_s + QString::fromLatin1(ReturnCodeName(rc)) + u": "_s +
             import.ErrorText() + u')');
    if (errorText) *errorText = import.ErrorText();
    return false;
  }
  return true;
}
