#pragma once

#include "newsgroups/GroupListDownload.h"
#include "nntp/NewsServerEntry.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTimer;
class TWorkerThread;

// "Newsgroups List": downloads the full list of newsgroups of a server into
// its main list, in three pages: choose the server, retrieve, result. The
// retrieval runs on a worker thread; this window only shows its progress.
class TfrmGetGroupsWizard : public QDialog {
  Q_OBJECT
 public:
  enum TPage { PAGE_SELECT_SERVER, PAGE_RETRIEVE, PAGE_RESULT };

  TfrmGetGroupsWizard(const QList<TNewsServerEntry>& servers, const QString& serversDir, QWidget* parent = nullptr);
  ~TfrmGetGroupsWizard() override;

  // The entry point for the program: the defined servers, serverName chosen
  // first when given. True when the server's main list exists afterwards.
  static bool Run(QWidget* parent, const QString& serverName = {});

  void SelectServer(const QString& name);
  TPage Page() const;
  TGroupListDownload::TResult Result() const { return fResult; }
  qint64 Count() const { return fCount; }
  QString SelectedServer() const;
  // For tests: the retrieval's time-out and pause between connection attempts.
  void SetTimeouts(int seconds, int retryDelayMs);

 public slots:
  void Next();
  void Back();
  void Abort();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void StartRetrieval();
  void StatusChanged(const QString& text);
  void Progress(qint64 count, const QByteArray& lastName);
  void Finished(int result, qint64 count, int serverCode);
  void Tick();
  void UpdateButtons();
  bool Running() const { return fThread != nullptr && fResult == TGroupListDownload::RESULT_NONE; }

  QList<TNewsServerEntry> fServers;
  QString fServersDir;
  QStackedWidget* fPages;
  QListWidget* fServerList;
  QLabel* fTitle;
  QLabel* fStatus;
  QLabel* fRetrieved;
  QLabel* fLastGroup;
  QLabel* fElapsed;
  QLabel* fResultTitle;
  QLabel* fResultText;
  QPushButton* fBack;
  QPushButton* fNext;
  QPushButton* fAbort;
  QPushButton* fClose;
  QTimer* fTimer;
  QElapsedTimer fClock;
  std::unique_ptr<TWorkerThread> fThread;
  TGroupListDownload::TResult fResult = TGroupListDownload::RESULT_NONE;
  qint64 fCount = 0;
  QByteArray fLastName;
  int fTimeout = TGroupListDownload::kTimeoutSeconds;
  int fRetryDelayMs = TGroupListDownload::kRetryDelayMs;
};
