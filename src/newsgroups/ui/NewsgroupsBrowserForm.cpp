#include "newsgroups/ui/NewsgroupsBrowserForm.h"

#include "app/AppPaths.h"
#include "app/Settings.h"
#include "app/SharedLists.h"
#include "app/UserPrompt.h"
#include "newsgroups/NewGroupsMerge.h"
#include "newsgroups/NewsgroupLoader.h"
#include "newsgroups/ui/GetGroupsCountForm.h"
#include "newsgroups/ui/GetGroupsWizardForm.h"
#include "newsgroups/ui/GetNewGroupsForm.h"
#include "newsgroups/ui/GroupListModel.h"
#include "nntp/NewsServerList.h"
#include "shell/HelpMessageManager.h"
#include "shell/ShellMessage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <limits>

using namespace Qt::StringLiterals;

TfrmNewsgroupsBrowser::TfrmNewsgroupsBrowser(QWidget* parent)
    : TTabPage(parent),
      fServers(new QComboBox(this)),
      fLists(new QComboBox(this)),
      fSearch(new QLineEdit(this)),
      fGrid(new QTableView(this)),
      fModel(new TGroupListModel(this)),
      fLoader(new TNewsgroupLoader(this)),
      fStatus(new QLabel(this)) {
  setObjectName(QStringLiteral("frmNewsgroupsBrowser"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  fServers->setObjectName(u"cbServers"_s);
  fLists->setObjectName(u"cbLists"_s);
  fLists->addItems({u"Main Newsgroups List"_s, QLatin1String(newgroups::kFolderName)});
  top->addWidget(fServers, 1);
  top->addWidget(fLists);
  // Short captions keep the row narrow enough for the smallest window size;
  // the full wording is the tooltip.
  auto addButton = [this, top](const QString& caption, const QString& text, const char* name,
                               void (TfrmNewsgroupsBrowser::*slot)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(text);
    b->setAccessibleName(text);
    connect(b, &QPushButton::clicked, this, slot);
    top->addWidget(b);
  };
  addButton(u"&All groups"_s, u"Download all newsgroups for selected server"_s, "btnDownloadAll",
            &TfrmNewsgroupsBrowser::DownloadAll);
  addButton(u"&New groups"_s, u"Download new newsgroups for selected server"_s, "btnDownloadNew",
            &TfrmNewsgroupsBrowser::DownloadNew);
  addButton(u"&Counts..."_s, u"Update message count..."_s, "btnUpdateCount", &TfrmNewsgroupsBrowser::UpdateCounts);
  fServers->setMinimumContentsLength(12);
  fServers->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  layout->addLayout(top);
  fSearch->setObjectName(u"edtSearch"_s);
  fSearch->setPlaceholderText(u"Newsgroup Search"_s);
  fSearch->setClearButtonEnabled(true);
  layout->addWidget(fSearch);
  fGrid->setObjectName(u"grdNewsgroups"_s);
  fGrid->setModel(fModel);
  fGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  fGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  fGrid->verticalHeader()->setVisible(false);
  fGrid->verticalHeader()->setDefaultSectionSize(fGrid->fontMetrics().height() + 4);
  fGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  layout->addWidget(fGrid, 1);
  fStatus->setObjectName(QStringLiteral("lblStatus"));
  layout->addWidget(fStatus);

  connect(fSearch, &QLineEdit::textChanged, fModel, &TGroupListModel::SetFilter);
  connect(fLoader, &TNewsgroupLoader::Loaded, this, &TfrmNewsgroupsBrowser::ListLoaded);
  connect(fServers, &QComboBox::currentIndexChanged, this, [this] { ShowList(fLists->currentIndex() == 1); });
  connect(fLists, &QComboBox::currentIndexChanged, this, [this](int i) { ShowList(i == 1); });
}

void TfrmNewsgroupsBrowser::SetStatusText(const QString& text) { fStatus->setText(text); }
QString TfrmNewsgroupsBrowser::StatusText() const { return fStatus->text(); }
QString TfrmNewsgroupsBrowser::CurrentServer() const { return fServers->currentText(); }

void TfrmNewsgroupsBrowser::FillServers() {
  const QString shown = CurrentServer().isEmpty() ? Settings().DefaultNewsServer : CurrentServer();
  QSignalBlocker block(fServers);
  fServers->clear();
  for (const TNewsServerEntry& server : TNewsServerList::Instance().Entries()) fServers->addItem(server.Name());
  const int at = fServers->findText(shown, Qt::MatchFixedString);
  fServers->setCurrentIndex(at >= 0 ? at : 0);
}

void TfrmNewsgroupsBrowser::ShowList(bool newGroups) {
  if (fLists->currentIndex() != (newGroups ? 1 : 0)) {
    QSignalBlocker block(fLists);
    fLists->setCurrentIndex(newGroups ? 1 : 0);
  }
  const QString server = CurrentServer();
  fModel->SetList(nullptr);
  if (server.isEmpty()) return;
  const QString dir = TNewsServerList::ServerDirectory(Paths().serversDir, server);
  SetStatusText(u"Loading newsgroups..."_s);
  fLoader->Load(newGroups ? TNewGroupsMerge::FolderPath(dir) : TNewGroupsMerge::MainListPath(dir),
                TSharedLists::Instance().boldNewsgroups);
}

void TfrmNewsgroupsBrowser::ListLoaded(bool) {
  fModel->SetList(fLoader->TakeList());
  fModel->SetFilter(fSearch->text());
  SetStatusText(u"Newsgroups displayed: "_s + QString::number(fModel->rowCount()));
}

void TfrmNewsgroupsBrowser::DownloadAll() {
  TfrmGetGroupsWizard::Run(this, CurrentServer());
  ShowList(false);
}

void TfrmNewsgroupsBrowser::DownloadNew() {
  if (CurrentServer().isEmpty()) return;
  const bool show = TfrmGetNewGroups::CheckNewGroups(this, CurrentServer());
  ShowList(show);
}

void TfrmNewsgroupsBrowser::UpdateCounts() {
  TNewsServerEntry server;
  if (!TNewsServerList::Instance().Get(CurrentServer(), server)) return;
  QList<qsizetype> entries;
  const QModelIndexList selected = fGrid->selectionModel()->selectedRows();
  if (selected.isEmpty()) {
    for (int r = 0; r < fModel->rowCount(); ++r) entries.append(fModel->EntryOf(r));
  } else {
    for (const QModelIndex& index : selected) entries.append(fModel->EntryOf(index.row()));
  }
  if (entries.isEmpty()) {
    TUserPrompt::Information(u"There are no groups to retrieve information for."_s);
    return;
  }
  QList<QByteArray> groups;
  for (qsizetype e : entries) groups.append(fModel->List()->Name(e).toByteArray());
  fGrid->clearSelection();
  const QString shown = fLoader->Path();
  TfrmGetGroupsCount::Run(
      this, groups, {server}, server.countConnections, [this, entries, shown](const TGroupCountResult& r) {
        const auto clamp = [](std::int64_t v) {
          return static_cast<std::int32_t>(std::min<std::int64_t>(v, std::numeric_limits<std::int32_t>::max()));
        };
        const std::int32_t total = clamp(r.group.estimated);
        // Without a last visit every message is new.
        const std::int32_t newCount = total < 0 ? 0 : total;
        const qsizetype entry = entries[r.entry];
        fModel->SetCounts(entry, newCount, total);
        // Kept in the list's file, so the counts are there next time.
        if (entry >= 0 && entry < fModel->List()->Count())
          TGroupList::WriteCountsAt(shown, fModel->List()->entries[entry].position, newCount, total);
      });
}

void TfrmNewsgroupsBrowser::TabMessage(TShellMessage& message) {
  switch (message.Offset()) {
    case shellmsg::TM_CLOSE_REQUEST:
      TUserPrompt::Warning(QStringLiteral("The newsgroups browser tab cannot be closed."));
      break;
    case shellmsg::TM_STARTUP_COMPLETE:
      FillServers();
      ShowList(false);
      THelpMessageManager::Instance().ShowHelpMessage(this, WHAT_NOW);
      break;
    case shellmsg::TM_NEWS_SERVERS_CHANGED:
      FillServers();
      ShowList(fLists->currentIndex() == 1);
      TTabPage::TabMessage(message);
      break;
    default:
      TTabPage::TabMessage(message);
  }
}
