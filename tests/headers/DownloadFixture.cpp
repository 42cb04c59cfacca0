#include "DownloadFixture.h"

#include "headers/DownloadHeadersJobEntry.h"
#include "headers/HeaderFileReader.h"
#include "headers/JobFile.h"
#include "app/LittleEndian.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

using namespace Qt::StringLiterals;

TDownloadRun::TDownloadRun() {
  manager.SetWorkingDirectory(dir.Path());
  manager.SetSettingsDirectory(dir.Path());
  manager.SetThreadSetup([this](THeadersDownloadThread& thread) {
    thread.SetTimeout(2);
    if (setup) setup(thread);
  });
  server.name = "test";
  server.host = "127.0.0.1";
}

TJobEntry* TDownloadRun::Create(const QStringList& newsgroups, int connections, quint16 port, const QString& match) {
  TJobInfo info;
  info.type = JOB_TYPE_DOWNLOAD_HEADERS;
  info.serverName = u"test"_s;
  info.connectionCount = connections;
  info.matchString = match;
  QStringList names;
  for (const QString& group : newsgroups) {
    const qsizetype bar = group.indexOf(u'|');
    const QString name = bar < 0 ? group : group.left(bar);
    names << name;
    info.newsgroups.append({name, bar < 0 ? MakeOperationString(JOB_OPERATION_GET_HEADERS_ALL) : group.mid(bar + 1),
                            DOWNLOAD_RESULT_NONE});
  }
  info.name = JobDisplayName(names);
  RETURN_CODES rc = RC_SUCCESS;
  TJobEntry* job = manager.CreateNewJob(info, &rc);
  EXPECT_EQ(rc, RC_SUCCESS);
  if (!job) return nullptr;
  server.port = port;
  EXPECT_EQ(manager.PrepareJob(job, server), RC_SUCCESS);
  return job;
}

bool TDownloadRun::SpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

TJobOutcome TDownloadRun::Run(TJobEntry* job, int timeoutMs) {
  TJobOutcome outcome;
  if (!job) return outcome;
  const QMetaObject::Connection connection =
      QObject::connect(&manager, &THeadersJobManager::JobComplete, [this, &outcome](TJobEntry* j, int* r) {
        outcome.ended = true;
        outcome.info = j->Info();
        if (auto* thread = qobject_cast<THeadersDownloadThread*>(j->Thread())) {
          outcome.threadResult = thread->ResultCode();
          outcome.stats = thread->Stats();
          outcome.progress = thread->Progress();
        }
        *r = reply;
      });
  EXPECT_EQ(manager.StartJob(job), RC_SUCCESS);
  EXPECT_TRUE(SpinUntil([&outcome] { return outcome.ended; }, timeoutMs)) << "the job did not end";
  QObject::disconnect(connection);
  return outcome;
}

QString TDownloadRun::File(const QUuid& guid, const QString& extension) const {
  return dir.Path() + TJobFile::GuidText(guid) + extension;
}

QStringList TDownloadRun::OtherFiles(const QUuid& guid) const {
  QStringList files = QDir(dir.Path()).entryList({TJobFile::GuidText(guid) + u".*"_s}, QDir::Files);
  files.removeAll(TJobFile::FileName(guid));
  return files;
}

std::vector<TStoredHeader> ReadHeaderFiles(const QString& textPath, const QString& indexPath) {
  std::vector<TStoredHeader> headers;
  THeaderFileReader reader;
  if (reader.Open(textPath, indexPath) != THeaderFileReader::OPEN_OK) {
    ADD_FAILURE() << "cannot open " << textPath.toStdString();
    return headers;
  }
  if (reader.Start() != RC_SUCCESS) return headers;
  TNewsHeader h;
  for (;;) {
    const THeaderFileReader::TStatus status = reader.Next(h);
    if (status != THeaderFileReader::READ_RECORD) {
      EXPECT_EQ(status, THeaderFileReader::READ_END) << reader.Problem().toStdString();
      EXPECT_FALSE(reader.Truncated());
      break;
    }
    TStoredHeader s;
    s.fields = h;
    s.fields.subject = s.fields.sender = s.fields.messageId = s.fields.references = {};
    s.subject.assign(h.subject.data(), static_cast<std::size_t>(h.subject.size()));
    s.sender.assign(h.sender.data(), static_cast<std::size_t>(h.sender.size()));
    s.messageId.assign(h.messageId.data(), static_cast<std::size_t>(h.messageId.size()));
    s.references.assign(h.references.data(), static_cast<std::size_t>(h.references.size()));
    headers.push_back(std::move(s));
  }
  return headers;
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<std::uint64_t> SeekEntries(const QString& path) {
  const QByteArray data = FileBytes(path);
  std::vector<std::uint64_t> entries;
  for (qsizetype at = 0; at + 8 <= data.size(); at += 8) entries.push_back(le::Get64(data.constData() + at));
  return entries;
}
