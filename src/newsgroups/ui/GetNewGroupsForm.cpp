#include "newsgroups/ui/GetNewGroupsForm.h"

#include "app/AppPaths.h"
#include "app/DayCount.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"
#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListDownload.h"
#include "newsgroups/NewGroupsMerge.h"
#include "newsgroups/WorkerThread.h"
#include "newsgroups/ui/BusyTask.h"
#include "nntp/NewsServerList.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfrmGetNewGroups::TfrmGetNewGroups(const TNewsServerEntry& server, const QString& outputPath, const QDateTime& since,
                                   QWidget* parent)
    : QDialog(parent),
      fServer(server),
      fSince(since),
      fTimeout(TGroupListDownload::kTimeoutSeconds),
      fRetryDelayMs(TGroupListDownload::kRetryDelayMs) {
  const QFileInfo output(outputPath);
  fBase = output.path() + u'/' + output.completeBaseName();
  setObjectName(u"frmGetNewGroups"_s);
  setWindowTitle(u"New newsgroups"_s);
  auto* layout = new QVBoxLayout(this);
  fStatus = new QLabel(QString::fromLatin1(grouplists::kConnectingToServer), this);
  fStatus->setObjectName(u"lblStatus"_s);
  fGroup = new QLabel(this);
  fGroup->setObjectName(u"lblGroup"_s);
  fCountLabel = new QLabel(this);
  fCountLabel->setObjectName(u"lblCount"_s);
  for (QLabel* label : {fStatus, fGroup, fCountLabel}) layout->addWidget(label);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  fAbort = new QPushButton(u"Abort"_s, this);
  fAbort->setObjectName(u"btnAbort"_s);
  fAbort->setAutoDefault(false);
  connect(fAbort, &QPushButton::clicked, this, &TfrmGetNewGroups::Abort);
  row->addWidget(fAbort);
  layout->addLayout(row);
  resize(400, 140);
}

TfrmGetNewGroups::~TfrmGetNewGroups() = default;

void TfrmGetNewGroups::SetTimeouts(int seconds, int retryDelayMs) {
  fTimeout = seconds;
  fRetryDelayMs = retryDelayMs;
}

int TfrmGetNewGroups::exec() {
  LOG_METHOD("TfrmGetNewGroups.Execute");
  const TNewsServerEntry server = fServer;
  const QString dir = QFileInfo(fBase).path() + u'/';
  const QDateTime since = fSince;
  const int timeout = fTimeout, retryDelay = fRetryDelayMs;
  fRunning = true;
  fThread = std::make_unique<TWorkerThread>([this, server, dir, since, timeout, retryDelay]() -> QObject* {
    auto* download = new TGroupListDownload(TGroupListDownload::MODE_NEW_GROUPS, server, dir);
    download->SetSince(since);
    download->SetTimeout(timeout);
    download->SetRetryDelay(retryDelay);
    download->SetProgressInterval(250);
    connect(download, &TGroupListDownload::StatusChanged, fStatus, &QLabel::setText, Qt::QueuedConnection);
    connect(download, &TGroupListDownload::Progress, this, &TfrmGetNewGroups::Progress, Qt::QueuedConnection);
    connect(
        download, &TGroupListDownload::Finished, this,
        [this, download](int result, qint64 count, int) {
          // Read on the worker's thread, handed over as a copy.
          const QDateTime requestTime = download->RequestTime();
          QMetaObject::invokeMethod(
              this, [this, result, count, requestTime] { Finished(result, count, requestTime); },
              Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    download->Start();
    return download;
  });
  fThread->start();
  return QDialog::exec();
}

void TfrmGetNewGroups::Progress(qint64 count, const QByteArray& lastName) {
  fCount = count;
  fGroup->setText(QString::fromUtf8(lastName));
  fCountLabel->setText(QString::number(count) + u" new group(s) retrieved"_s);
}

void TfrmGetNewGroups::Finished(int result, qint64 count, const QDateTime& requestTime) {
  fRunning = false;
  fCount = count;
  fRequestTime = requestTime;
  if (fThread) fThread->Stop();
  if (result == TGroupListDownload::RESULT_SUCCESS)
    accept();
  else
    QDialog::reject();
}

void TfrmGetNewGroups::Abort() {
  if (fRunning && fThread)
    fThread->Post([](QObject* worker) { static_cast<TGroupListDownload*>(worker)->Abort(); });
}

void TfrmGetNewGroups::reject() {
  // Escape is the user's abort; the window closes once the check has ended.
  if (fRunning) {
    Abort();
    return;
  }
  QDialog::reject();
}

void TfrmGetNewGroups::closeEvent(QCloseEvent* event) {
  if (fRunning) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

bool TfrmGetNewGroups::CheckNewGroups(QWidget* parent, const QString& serverName) {
  LOG_METHOD("CheckNewGroups");
  TNewsServerEntry server;
  if (!TNewsServerList::Instance().Get(serverName, server)) {
    LogError(u"Error getting news server "_s + serverName);
    return false;
  }
  const QString serverDir = TNewsServerList::ServerDirectory(Paths().serversDir, server.Name());
  QDir().mkpath(serverDir);
  TNewGroupsMerge::RemoveResultFiles(serverDir);
  TfrmGetNewGroups dialog(server, serverDir + u"newgroups.txt"_s, server.lastCheckDate > 0 ? DaysToDateTime(server.lastCheckDate) : QDateTime(), parent);
  if (dialog.exec() != QDialog::Accepted) {
    TNewGroupsMerge::RemoveResultFiles(serverDir);
    return false;
  }
  const qint64 count = dialog.Count();
  TNewGroupsMerge::TResult merged = TNewGroupsMerge::MERGE_NOTHING;
  TBusyTask::Run(parent, {}, [&] {
    merged = TNewGroupsMerge::Merge(serverDir, count);
    return true;
  });
  switch (merged) {
    case TNewGroupsMerge::MERGE_NOTHING:
      TUserPrompt::Information(QString::fromLatin1(newgroups::kNoNewGroups));
      break;
    case TNewGroupsMerge::MERGE_ADDED:
      if (TUserPrompt::Confirm(TNewGroupsMerge::SortQuestion(count))) {
        const QString main = TNewGroupsMerge::MainListPath(serverDir);
        if (!TBusyTask::Run(parent, QString::fromLatin1(newgroups::kSortingMainList),
                            [main] { return TGroupList::Sort(main, true); }))
          LogError(u"Sorting "_s + main + u" failed; the list stays as it was"_s);
      }
      break;
    case TNewGroupsMerge::MERGE_NO_MAIN_LIST:
      TUserPrompt::Information(TNewGroupsMerge::AddedText(count));
      break;
    case TNewGroupsMerge::MERGE_FAILED:
      // The groups stay in the folder; the next check asks from the old date again.
      TUserPrompt::Error(QString::fromLatin1(grouplists::kFileError));
      return true;
  }
  // Groups created while the reply came in are asked for again next time.
  TNewsServerList::Instance().SetServerCheckDate(Paths().userDataDir, server.Name(),
                                                DateTimeToDays(dialog.RequestTime()));
  return merged != TNewGroupsMerge::MERGE_NOTHING;
}
