#pragma once

#include "nntp/NewsServerEntry.h"

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <memory>

class QLabel;
class QPushButton;
class TWorkerThread;

// "New newsgroups": asks a server for the groups created since the last
// check and writes them to the output pair (base of the output path with
// ".gnam"/".gdat"). Closes accepted when the whole reply was stored, rejected
// when aborted or failed (its files are then removed).
class TfrmGetNewGroups : public QDialog {
  Q_OBJECT
 public:
  // outputPath: the server directory + "newgroups.txt"; since: the date of
  // the last check (an invalid one means now).
  TfrmGetNewGroups(const TNewsServerEntry& server, const QString& outputPath, const QDateTime& since,
                   QWidget* parent = nullptr);
  ~TfrmGetNewGroups() override;

  // The check as the program runs it for a server: leftovers removed, the
  // dialog, the merge into the main list and the "New Newsgroups" folder, the
  // question whether to sort, and the new date of last check. True when the
  // "New Newsgroups" folder got new groups and should be shown.
  static bool CheckNewGroups(QWidget* parent, const QString& serverName);

  qint64 Count() const { return fCount; }
  // When the request went out: the next check starts there.
  QDateTime RequestTime() const { return fRequestTime; }
  // For tests: time-out and pause before connecting again.
  void SetTimeouts(int seconds, int retryDelayMs);

  int exec() override;

 public slots:
  void Abort();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Progress(qint64 count, const QByteArray& lastName);
  void Finished(int result, qint64 count, const QDateTime& requestTime);

  TNewsServerEntry fServer;
  QString fBase;
  QDateTime fSince;
  QDateTime fRequestTime;
  QLabel* fStatus;
  QLabel* fGroup;
  QLabel* fCountLabel;
  QPushButton* fAbort;
  std::unique_ptr<TWorkerThread> fThread;
  bool fRunning = false;
  qint64 fCount = 0;
  QElapsedTimer fSinceShown;
  int fTimeout;
  int fRetryDelayMs;
};
