#pragma once

#include "newsgroups/GroupCountPool.h"
#include "nntp/NewsServerEntry.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QList>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class TWorkerThread;

// "Retrieving message count": asks GROUP for each of the given groups on
// each given server, over several connections at once (on a worker thread).
// Each result reaches the callback on the user-interface thread as it comes
// in. Closes accepted when every group was counted, rejected when aborted.
class TfrmGetGroupsCount : public QDialog {
  Q_OBJECT
 public:
  using TCallback = std::function<void(const TGroupCountResult& result)>;

  // connections: per server (from the server definition).
  TfrmGetGroupsCount(const QList<QByteArray>& groups, const QList<TNewsServerEntry>& servers, int connections,
                     TCallback callback, QWidget* parent = nullptr);
  ~TfrmGetGroupsCount() override;

  // The entry point for the program; true when every group was counted.
  static bool Run(QWidget* parent, const QList<QByteArray>& groups, const QList<TNewsServerEntry>& servers,
                  int connections, TCallback callback);

  // For tests: time-out and pause between reconnections.
  void SetTimeouts(int seconds, int retryDelayMs);
  int exec() override;
  bool Succeeded() const { return fSucceeded; }
  // The rows' texts as last shown.
  QString ConnectionStatus(int row) const;
  QString ConnectionServer(int row) const;
  int ConnectionRows() const;

 public slots:
  void Abort();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void DrainResults();
  void Finished(bool success);
  void Tick();

  std::shared_ptr<TGroupCountPool> fPool;
  int fConnections;
  TCallback fCallback;
  QTableWidget* fRows;
  QLabel* fRemaining;
  QLabel* fSpeed;
  QProgressBar* fProgress;
  QPushButton* fAbort;
  QTimer* fTimer;
  std::unique_ptr<TWorkerThread> fThread;
  bool fRunning = false;
  bool fSucceeded = false;
  QElapsedTimer fSpeedClock;
  qint64 fSpeedCounted = 0;
  int fTimeout;
  int fRetryDelayMs;
};
