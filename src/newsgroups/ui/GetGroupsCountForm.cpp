#include "newsgroups/ui/GetGroupsCountForm.h"

#include "app/Logger.h"
#include "app/Settings.h"
#include "newsgroups/GroupCountWorker.h"
#include "newsgroups/WorkerThread.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

TfrmGetGroupsCount::TfrmGetGroupsCount(const QList<QByteArray>& groups, const QList<TNewsServerEntry>& servers,
                                       int connections, TCallback callback, QWidget* parent)
    : QDialog(parent),
      fPool(std::make_shared<TGroupCountPool>(servers, groups)),
      fConnections(std::max(1, connections)),
      fCallback(std::move(callback)),
      fTimeout(TGroupCountWorker::kTimeoutSeconds),
      fRetryDelayMs(TGroupCountWorker::kRetryDelayMs) {
  setObjectName(u"frmGetGroupsCount"_s);
  setWindowTitle(u"Retrieving message count"_s);
  auto* layout = new QVBoxLayout(this);
  const int rows = TGroupCountWorker::ConnectionCount(static_cast<int>(servers.size()), fConnections);
  fRows = new QTableWidget(rows, 2, this);
  fRows->setObjectName(u"grdConnections"_s);
  fRows->setHorizontalHeaderLabels({u"Status"_s, u"Server"_s});
  fRows->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  fRows->verticalHeader()->setVisible(false);
  fRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  fRows->setSelectionMode(QAbstractItemView::NoSelection);
  for (int r = 0; r < rows; ++r) {
    fRows->setItem(r, 0, new QTableWidgetItem);
    fRows->setItem(r, 1, new QTableWidgetItem);
  }
  layout->addWidget(fRows, 1);
  fRemaining = new QLabel(this);
  fRemaining->setObjectName(u"lblRemaining"_s);
  fSpeed = new QLabel(this);
  fSpeed->setObjectName(u"lblSpeed"_s);
  fProgress = new QProgressBar(this);
  fProgress->setObjectName(u"pbProgress"_s);
  fProgress->setRange(0, std::max(1, fPool->ItemCount()));
  layout->addWidget(fRemaining);
  layout->addWidget(fProgress);
  auto* row = new QHBoxLayout;
  row->addWidget(fSpeed, 1);
  fAbort = new QPushButton(u"Abort"_s, this);
  fAbort->setObjectName(u"btnAbort"_s);
  fAbort->setAutoDefault(false);
  connect(fAbort, &QPushButton::clicked, this, &TfrmGetGroupsCount::Abort);
  row->addWidget(fAbort);
  layout->addLayout(row);
  fTimer = new QTimer(this);
  fTimer->setInterval(250);
  connect(fTimer, &QTimer::timeout, this, &TfrmGetGroupsCount::Tick);
  const int height = Settings().gUpdateCountWindowHeight;
  resize(480, height >= 1 && height <= 599 ? height : 320);
}

TfrmGetGroupsCount::~TfrmGetGroupsCount() { Settings().gUpdateCountWindowHeight = height(); }

bool TfrmGetGroupsCount::Run(QWidget* parent, const QList<QByteArray>& groups, const QList<TNewsServerEntry>& servers,
                             int connections, TCallback callback) {
  LOG_METHOD("GetGroupsCount");
  TfrmGetGroupsCount dialog(groups, servers, connections, std::move(callback), parent);
  return dialog.exec() == QDialog::Accepted;
}

void TfrmGetGroupsCount::SetTimeouts(int seconds, int retryDelayMs) {
  fTimeout = seconds;
  fRetryDelayMs = retryDelayMs;
}

int TfrmGetGroupsCount::exec() {
  LOG_METHOD("TfrmGetGroupsCount.Execute");
  fRunning = true;
  const std::shared_ptr<TGroupCountPool> pool = fPool;
  const int connections = fConnections, timeout = fTimeout, retryDelay = fRetryDelayMs;
  fThread = std::make_unique<TWorkerThread>([this, pool, connections, timeout, retryDelay]() -> QObject* {
    auto* worker = new TGroupCountWorker(pool, connections);
    worker->SetTimeout(timeout);
    worker->SetRetryDelay(retryDelay);
    connect(worker, &TGroupCountWorker::ResultsReady, this, &TfrmGetGroupsCount::DrainResults, Qt::QueuedConnection);
    connect(worker, &TGroupCountWorker::Finished, this, &TfrmGetGroupsCount::Finished, Qt::QueuedConnection);
    worker->Start();
    return worker;
  });
  fSpeedClock.start();
  fThread->start();
  fTimer->start();
  Tick();
  return QDialog::exec();
}

void TfrmGetGroupsCount::DrainResults() {
  const QList<TGroupCountResult> results = fPool->TakeResults();
  if (!fCallback) return;
  for (const TGroupCountResult& result : results) fCallback(result);
}

void TfrmGetGroupsCount::Tick() {
  const int remaining = fPool->Remaining();
  fRemaining->setText(u"Remaining groups: "_s + QString::number(remaining));
  fProgress->setValue(fPool->ItemCount() - remaining);
  const qint64 elapsed = fSpeedClock.elapsed();
  if (elapsed >= 1000) {
    const qint64 counted = fPool->Counted();
    const double rate = double(counted - fSpeedCounted) * 1000.0 / double(elapsed);
    fSpeed->setText(u"Groups per sec: "_s + QString::number(std::llround(rate)));
    fSpeedCounted = counted;
    fSpeedClock.start();
  }
  const QList<TGroupCountPool::TConnectionStatus> statuses = fPool->Statuses();
  for (int r = 0; r < statuses.size() && r < fRows->rowCount(); ++r) {
    fRows->item(r, 0)->setText(statuses[r].status);
    fRows->item(r, 1)->setText(statuses[r].server);
  }
}

void TfrmGetGroupsCount::Finished(bool success) {
  fRunning = false;
  fSucceeded = success;
  fTimer->stop();
  if (fThread) fThread->Stop();
  DrainResults();
  Tick();
  if (success)
    accept();
  else
    QDialog::reject();
}

void TfrmGetGroupsCount::Abort() {
  if (fRunning && fThread)
    fThread->Post([](QObject* worker) { static_cast<TGroupCountWorker*>(worker)->Abort(); });
}

void TfrmGetGroupsCount::reject() {
  if (fRunning) {
    Abort();
    return;
  }
  QDialog::reject();
}

void TfrmGetGroupsCount::closeEvent(QCloseEvent* event) {
  if (fRunning) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

int TfrmGetGroupsCount::ConnectionRows() const { return fRows->rowCount(); }
QString TfrmGetGroupsCount::ConnectionStatus(int row) const { return fRows->item(row, 0)->text(); }
QString TfrmGetGroupsCount::ConnectionServer(int row) const { return fRows->item(row, 1)->text(); }
