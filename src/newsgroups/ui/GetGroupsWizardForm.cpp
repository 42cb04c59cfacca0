#include "newsgroups/ui/GetGroupsWizardForm.h"

#include "app/AppPaths.h"
#include "app/Logger.h"
#include "app/TextFormat.h"
#include "newsgroups/GroupList.h"
#include "newsgroups/WorkerThread.h"
#include "nntp/NewsServerList.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setWordWrap(true);
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}
}  // namespace

TfrmGetGroupsWizard::TfrmGetGroupsWizard(const QList<TNewsServerEntry>& servers, const QString& serversDir,
                                         QWidget* parent)
    : QDialog(parent), fServers(servers), fServersDir(serversDir) {
  setObjectName(u"frmGetGroupsWizard"_s);
  setWindowTitle(u"Newsgroups List"_s);
  auto* layout = new QVBoxLayout(this);
  fPages = new QStackedWidget(this);
  layout->addWidget(fPages, 1);

  auto* select = new QWidget(fPages);
  auto* selectLayout = new QVBoxLayout(select);
  selectLayout->addWidget(NewLabel(select, "lblSelectServer", u"Select the news server to download the list of newsgroups from:"_s));
  fServerList = new QListWidget(select);
  fServerList->setObjectName(u"lstServers"_s);
  for (const TNewsServerEntry& server : fServers) fServerList->addItem(server.Name());
  connect(fServerList, &QListWidget::itemSelectionChanged, this, &TfrmGetGroupsWizard::UpdateButtons);
  connect(fServerList, &QListWidget::itemDoubleClicked, this, &TfrmGetGroupsWizard::Next);
  selectLayout->addWidget(fServerList, 1);
  fPages->addWidget(select);

  auto* retrieve = new QWidget(fPages);
  auto* retrieveLayout = new QVBoxLayout(retrieve);
  fTitle = NewLabel(retrieve, "lblTitle");
  QFont bold = fTitle->font();
  bold.setBold(true);
  fTitle->setFont(bold);
  fStatus = NewLabel(retrieve, "lblStatus");
  fRetrieved = NewLabel(retrieve, "lblRetrieved");
  fLastGroup = NewLabel(retrieve, "lblLastGroup");
  fElapsed = NewLabel(retrieve, "lblElapsed");
  for (QLabel* label : {fTitle, fStatus, fRetrieved, fLastGroup, fElapsed}) retrieveLayout->addWidget(label);
  retrieveLayout->addStretch(1);
  fPages->addWidget(retrieve);

  auto* result = new QWidget(fPages);
  auto* resultLayout = new QVBoxLayout(result);
  fResultTitle = NewLabel(result, "lblResultTitle");
  fResultTitle->setFont(bold);
  fResultText = NewLabel(result, "lblResultText");
  resultLayout->addWidget(fResultTitle);
  resultLayout->addWidget(fResultText);
  resultLayout->addStretch(1);
  fPages->addWidget(result);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  fBack = NewButton(this, "btnBack", u"<  Back"_s);
  fNext = NewButton(this, "btnNext", u"Next  >"_s);
  fAbort = NewButton(this, "btnAbort", u"Abort"_s);
  fClose = NewButton(this, "btnClose", u"Close"_s);
  for (QPushButton* b : {fBack, fNext, fAbort, fClose}) buttons->addWidget(b);
  layout->addLayout(buttons);
  connect(fBack, &QPushButton::clicked, this, &TfrmGetGroupsWizard::Back);
  connect(fNext, &QPushButton::clicked, this, &TfrmGetGroupsWizard::Next);
  connect(fAbort, &QPushButton::clicked, this, &TfrmGetGroupsWizard::Abort);
  connect(fClose, &QPushButton::clicked, this, &QDialog::accept);

  fTimer = new QTimer(this);
  fTimer->setInterval(250);
  connect(fTimer, &QTimer::timeout, this, &TfrmGetGroupsWizard::Tick);
  resize(480, 300);
  UpdateButtons();
}

TfrmGetGroupsWizard::~TfrmGetGroupsWizard() = default;

bool TfrmGetGroupsWizard::Run(QWidget* parent, const QString& serverName) {
  LOG_METHOD("GetAllNewsgroups");
  TfrmGetGroupsWizard wizard(TNewsServerList::Instance().Entries(), Paths().serversDir, parent);
  if (!serverName.isEmpty()) wizard.SelectServer(serverName);
  wizard.exec();
  const QString name = wizard.SelectedServer();
  if (name.isEmpty()) return false;
  return QFileInfo::exists(TGroupList::NamesPath(TNewsServerList::ServerDirectory(Paths().serversDir, name) + u"Groups.gnam"_s));
}

void TfrmGetGroupsWizard::SetTimeouts(int seconds, int retryDelayMs) {
  fTimeout = seconds;
  fRetryDelayMs = retryDelayMs;
}

void TfrmGetGroupsWizard::SelectServer(const QString& name) {
  for (int i = 0; i < fServers.size(); ++i)
    if (fServers[i].NameEquals(name)) fServerList->setCurrentRow(i);
}

QString TfrmGetGroupsWizard::SelectedServer() const {
  const int row = fServerList->currentRow();
  return row >= 0 && row < fServers.size() && fServerList->currentItem()->isSelected() ? fServers[row].Name()
                                                                                       : QString();
}

TfrmGetGroupsWizard::TPage TfrmGetGroupsWizard::Page() const { return TPage(fPages->currentIndex()); }

void TfrmGetGroupsWizard::UpdateButtons() {
  const TPage page = Page();
  const bool running = Running();
  fBack->setEnabled(!running && page == PAGE_RESULT);
  fNext->setEnabled(!running && page == PAGE_SELECT_SERVER && !SelectedServer().isEmpty());
  fAbort->setEnabled(running);
  fClose->setEnabled(!running);
}

void TfrmGetGroupsWizard::Next() {
  if (Page() != PAGE_SELECT_SERVER || SelectedServer().isEmpty() || Running()) return;
  StartRetrieval();
}

void TfrmGetGroupsWizard::Back() {
  if (Running()) return;
  fThread.reset();
  fPages->setCurrentIndex(PAGE_SELECT_SERVER);
  UpdateButtons();
}

void TfrmGetGroupsWizard::StartRetrieval() {
  LOG_METHOD("TfrmGetGroupsWizard.StartRetrieval");
  const TNewsServerEntry server = fServers[fServerList->currentRow()];
  const QString serverDir = TNewsServerList::ServerDirectory(fServersDir, server.Name());
  QDir().mkpath(serverDir);
  fResult = TGroupListDownload::RESULT_NONE;
  fCount = 0;
  fLastName.clear();
  fTitle->setText(u"Downloading newsgroups from \""_s + server.Name() + u"\"."_s);
  fStatus->setText(QString::fromLatin1(grouplists::kConnectingToNewsServer));
  fRetrieved->clear();
  fLastGroup->clear();
  fElapsed->clear();
  fPages->setCurrentIndex(PAGE_RETRIEVE);
  const int timeout = fTimeout, retryDelay = fRetryDelayMs;
  fThread = std::make_unique<TWorkerThread>([this, server, serverDir, timeout, retryDelay]() -> QObject* {
    auto* download = new TGroupListDownload(TGroupListDownload::MODE_FULL_LIST, server, serverDir);
    download->SetTimeout(timeout);
    download->SetRetryDelay(retryDelay);
    connect(download, &TGroupListDownload::StatusChanged, this, &TfrmGetGroupsWizard::StatusChanged,
            Qt::QueuedConnection);
    connect(download, &TGroupListDownload::Progress, this, &TfrmGetGroupsWizard::Progress, Qt::QueuedConnection);
    connect(download, &TGroupListDownload::Finished, this, &TfrmGetGroupsWizard::Finished, Qt::QueuedConnection);
    download->Start();
    return download;
  });
  fThread->start();
  fClock.start();
  fTimer->start();
  UpdateButtons();
}

void TfrmGetGroupsWizard::StatusChanged(const QString& text) {
  if (Running()) fStatus->setText(text);
}

void TfrmGetGroupsWizard::Progress(qint64 count, const QByteArray& lastName) {
  fCount = count;
  fLastName = lastName;
}

void TfrmGetGroupsWizard::Tick() {
  fRetrieved->setText(u"Newsgroups retrieved so far: "_s + QString::number(fCount));
  fLastGroup->setText(QString::fromUtf8(fLastName));
  fElapsed->setText(FormatDuration(fClock.elapsed() / 1000));
}

void TfrmGetGroupsWizard::Finished(int result, qint64 count, int serverCode) {
  fTimer->stop();
  fResult = TGroupListDownload::TResult(result);
  fCount = count;
  // The worker has nothing left to do; its thread ends and takes it along.
  if (fThread) fThread->Stop();
  Tick();
  fResultTitle->setText(TGroupListDownload::ResultTitle(fResult, count));
  fResultText->setText(TGroupListDownload::ResultText(fResult, serverCode));
  fPages->setCurrentIndex(PAGE_RESULT);
  UpdateButtons();
}

void TfrmGetGroupsWizard::Abort() {
  if (!Running()) return;
  fThread->Post([](QObject* worker) { static_cast<TGroupListDownload*>(worker)->Abort(); });
}

void TfrmGetGroupsWizard::reject() {
  // Escape aborts a retrieval; the window closes only when none runs.
  if (Running()) {
    Abort();
    return;
  }
  QDialog::reject();
}

void TfrmGetGroupsWizard::closeEvent(QCloseEvent* event) {
  if (Running()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
