#include "binaries/CheckThread.h"

#include "app/Logger.h"
#include "binaries/CheckNewsMessage.h"
#include "binaries/DownloadEvents.h"
#include "binaries/DownloadListFiles.h"

#include <QDateTime>
#include <QFile>

using namespace Qt::StringLiterals;

bool TCheckThread::StoreArticle(const QString& path, QByteArrayView data, QString* error) {
  const QString temp = path + u".part"_s;
  QFile file(temp);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    if (error) *error = file.errorString();
    return false;
  }
  if (file.write(data.data(), data.size()) != data.size() || !file.flush()) {
    if (error) *error = file.errorString();
    file.close();
    QFile::remove(temp);
    return false;
  }
  file.close();
  if (!ReplaceFile(temp, path)) {
    if (error) *error = u"rename failed"_s;
    QFile::remove(temp);
    return false;
  }
  return true;
}

void TCheckThread::Process(TNewsMessage* message) {
  TDownloadEntry& entry = *message->item;
  const QByteArray& data = message->stream->Data();
  fContext.stats.AddArticle(message->server ? message->server->name : QString(), data.size(),
                            QTime::currentTime().hour());
  fContext.PostMessageStatus(DM_CHECK_STARTED, message->entry);
  entry.SetStatus(DOWNLOAD_STATUS_CHECKING);
  bool valid = true;
  if (fContext.options.checkMessages) {
    try {
      valid = CheckNewsMessage(QByteArrayView(data));
    } catch (...) {
      LogError("Exception raised calling CheckNewsMessage");
      valid = false;
    }
  }
  if (valid) {
    QString error;
    if (StoreArticle(fContext.MessageFilePath(entry), data, &error)) {
      entry.SetStatus(DOWNLOAD_STATUS_VALID);
      fContext.SetOutcome(message, TNewsMessage::OUTCOME_STORED);
    } else {
      LogError(u"Exception raised saving stream to file: "_s + error);
      entry.SetStatus(DOWNLOAD_STATUS_CHECK_ERROR);
      fContext.SetOutcome(message, TNewsMessage::OUTCOME_FAILED);
    }
  } else {
    entry.SetStatus(DOWNLOAD_STATUS_INVALID);
    LogWarning(u"File failing check: <"_s + QString::fromUtf8(entry.messageId) + u"> "_s +
               QString::fromLatin1(data.left(200)));
  }
  fContext.streams.Return(message->stream);
  message->stream = nullptr;
  fContext.checkedQueue.Add(message);
  fContext.PostMessageStatus(DM_CHECK_FINISHED, message->entry);
}

void TCheckThread::Ending() { fContext.stats.Write(); }
