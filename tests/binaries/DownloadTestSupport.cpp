#include "DownloadTestSupport.h"

#include "binaries/DownloadList.h"
#include "binaries/ImportNzb.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
// Reports the owner's events into a record.
class TRecorder : public QObject {
 public:
  TRecorder(TSessionRecord& record, TDownloadSession& session,
            std::function<void(TDownloadSession&, const TDownloadEvent&)> during)
      : fRecord(record), fSession(session), fDuring(std::move(during)) {}

 protected:
  void customEvent(QEvent* event) override {
    const int type = event->type();
    if (type == WM_DM_STARTUP) {
      fRecord.connections = static_cast<TDownloadStartupEvent*>(event)->connections;
      return;
    }
    if (type != WM_DM_MESSAGE_STATUS && type != WM_DM_CONNECTION_STATUS) return;
    const auto* e = static_cast<TDownloadEvent*>(event);
    if (type == WM_DM_MESSAGE_STATUS)
      fRecord.messageCodes.append(e->subCode);
    else if (!e->text.isEmpty())
      fRecord.connectionTexts.append(e->text);
    if (fDuring) fDuring(fSession, *e);
  }

 private:
  TSessionRecord& fRecord;
  TDownloadSession& fSession;
  std::function<void(TDownloadSession&, const TDownloadEvent&)> fDuring;
};
}  // namespace

TConnectionServer LocalServer(const QString& name, quint16 port, int connections, bool fill) {
  TConnectionServer s;
  s.server = TNewsServerEntry::Init();
  s.server.name = name.toUtf8();
  s.server.host = "127.0.0.1";
  s.server.port = port;
  s.server.downloadLimit = fill;
  s.connections = connections;
  return s;
}

TSessionRecord RunDownload(const QString& nzbPath, const QList<TConnectionServer>& servers, TSessionRun run) {
  TSessionRecord record;
  QString error;
  if (!ImportNZBFile(nzbPath, run.cuePath, &error)) {
    ADD_FAILURE() << "import failed: " << error.toStdString();
    return record;
  }
  TDownloadList list;
  if (!list.Load(run.cuePath)) {
    ADD_FAILURE() << "load failed";
    return record;
  }
  list.BuildPosts();
  TDownloadSession session(list);
  TRecorder recorder(record, session, run.during);
  session.Receiver = &recorder;
  TDownloadSessionSetup setup;
  setup.cuePath = run.cuePath;
  setup.settings = TDownloadListSettings::Read(run.cuePath);
  setup.decodeDir = run.outDir;
  setup.servers = servers;
  setup.badStringsDir = QCoreApplication::applicationDirPath() + u"/SystemData/_BadStrings/"_s;
  setup.clientTimeout = 5;
  if (run.configure) run.configure(setup);
  QEventLoop loop;
  QObject::connect(&session, &TDownloadSession::Finished, &loop, [&](TDownloadStopReason reason) {
    record.reason = reason;
    record.finished = true;
    loop.quit();
  });
  if (!session.Start(setup, &error)) {
    ADD_FAILURE() << "start failed: " << error.toStdString();
    return record;
  }
  QTimer::singleShot(run.timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  if (!record.finished) {
    ADD_FAILURE() << "the session did not end in time";
    session.Stop(10000);
  }
  record.summary = session.Summary();
  return record;
}

QStringList DecodedNames(const QString& dir) {
  QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  return names;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
