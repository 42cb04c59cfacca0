#include "nntp/ui/ConnectionListForm.h"

#include "app/AppPaths.h"
#include "app/Logger.h"
#include "app/UserPrompt.h"
#include "nntp/ConnectionList.h"
#include "nntp/NewsServerList.h"
#include "nntp/ui/EditNewsServersForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

TfrmConnectionList::TServerEditor gServerEditor;

bool RunServerEditor(QWidget* parent) {
  if (gServerEditor) return gServerEditor(parent);
  if (!TfrmEditNewsServers::EditNewsServers(parent)) return false;
  TfrmEditNewsServers::NotifyServerListChanged(parent);
  return true;
}

}  // namespace

TfrmConnectionList::TfrmConnectionList(QWidget* parent) : QDialog(parent) {
  setObjectName(u"frmConnectionList"_s);
  setWindowTitle(u"Connection list"_s);
  CreateControls();
  fModel.Reset(TNewsServerList::Instance().Entries());
  Refill(-1, -1);
}

void TfrmConnectionList::SetServerEditor(TServerEditor editor) { gServerEditor = std::move(editor); }

void TfrmConnectionList::CreateControls() {
  const auto button = [this](const QString& text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
  };

  fAvailable = new QListWidget(this);
  fAvailable->setObjectName(u"lstAvailable"_s);
  fAvailable->setSelectionMode(QAbstractItemView::ExtendedSelection);
  fSelected = new QListWidget(this);
  fSelected->setObjectName(u"lstSelected"_s);
  fSelected->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(fAvailable, &QListWidget::itemSelectionChanged, this, &TfrmConnectionList::UpdateButtons);
  connect(fSelected, &QListWidget::itemSelectionChanged, this, &TfrmConnectionList::UpdateButtons);
  // A double-click has just selected the entry it hit.
  connect(fAvailable, &QListWidget::itemDoubleClicked, this, &TfrmConnectionList::AddSelected);
  connect(fSelected, &QListWidget::itemDoubleClicked, this, &TfrmConnectionList::RemoveSelected);

  fAvailableMenu = new QMenu(this);
  fAddIdentical = fAvailableMenu->addAction(u"Add all identical connections"_s);
  fAddIdentical->setObjectName(u"actAddIdentical"_s);
  connect(fAddIdentical, &QAction::triggered, this, &TfrmConnectionList::AddAllIdentical);
  fAvailable->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(fAvailable, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    UpdateButtons();
    fAvailableMenu->popup(fAvailable->viewport()->mapToGlobal(pos));
  });

  fAdd = button(u"Add >"_s, "btnAdd");
  fRemove = button(u"< Remove"_s, "btnRemove");
  fRemoveAll = button(u"Remove All"_s, "btnRemoveAll");
  fMoveUp = button(u"Move up"_s, "btnMoveUp");
  fMoveDown = button(u"Move down"_s, "btnMoveDown");
  fEditServers = button(u"Edit NNTP servers..."_s, "btnEditServers");
  connect(fAdd, &QPushButton::clicked, this, &TfrmConnectionList::AddSelected);
  connect(fRemove, &QPushButton::clicked, this, &TfrmConnectionList::RemoveSelected);
  connect(fRemoveAll, &QPushButton::clicked, this, &TfrmConnectionList::RemoveAll);
  connect(fMoveUp, &QPushButton::clicked, this, &TfrmConnectionList::MoveUp);
  connect(fMoveDown, &QPushButton::clicked, this, &TfrmConnectionList::MoveDown);
  connect(fEditServers, &QPushButton::clicked, this, &TfrmConnectionList::EditServers);

  auto* middle = new QVBoxLayout;
  middle->addStretch(1);
  middle->addWidget(fAdd);
  middle->addWidget(fRemove);
  middle->addWidget(fRemoveAll);
  middle->addStretch(1);
  auto* order = new QHBoxLayout;
  order->addWidget(fMoveUp);
  order->addWidget(fMoveDown);
  order->addStretch(1);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(u"Available connections:"_s, this), 0, 0);
  grid->addWidget(new QLabel(u"Selected connections:"_s, this), 0, 2);
  grid->addWidget(fAvailable, 1, 0);
  grid->addLayout(middle, 1, 1);
  grid->addWidget(fSelected, 1, 2);
  grid->addWidget(fEditServers, 2, 0, Qt::AlignLeft);
  grid->addLayout(order, 2, 2);

  fUnlimited = new QCheckBox(u"Use as unlimited connections"_s, this);
  fUnlimited->setObjectName(u"chkUnlimited"_s);
  fUnlimited->setVisible(false);
  fSetAsDefault = new QCheckBox(u"Set as default connections"_s, this);
  fSetAsDefault->setObjectName(u"chkSetAsDefault"_s);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(u"Accept"_s, QDialogButtonBox::AcceptRole);
  ok->setObjectName(u"btnAccept"_s);
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(u"btnCancel"_s);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmConnectionList::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmConnectionList::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid, 1);
  layout->addWidget(fUnlimited);
  layout->addWidget(fSetAsDefault);
  layout->addWidget(buttons);
  resize(560, 400);
}

void TfrmConnectionList::LoadFile(const QString& path) {
  fModel.Load(TNewsServerList::Instance().Entries(), TConnectionList::ReadLines(path));
  Refill(-1, -1);
}

void TfrmConnectionList::SetUnlimited(bool on) {
  fUnlimited->setVisible(true);
  fUnlimited->setChecked(on);
}

bool TfrmConnectionList::Unlimited() const { return fUnlimited->isChecked(); }

void TfrmConnectionList::SetDefaultBox(bool checked, bool enabled) {
  fSetAsDefault->setChecked(checked);
  fSetAsDefault->setEnabled(enabled);
}

bool TfrmConnectionList::SetAsDefault() const { return fSetAsDefault->isChecked(); }

// ---------------------------------------------------------------- lists

void TfrmConnectionList::Refill(int availableRow, int selectedRow) {
  const auto fill = [](QListWidget* list, const QList<TConnectionListModel::TConnection>& entries, int row) {
    list->clear();
    for (const TConnectionListModel::TConnection& c : entries) list->addItem(c.name);
    if (row >= 0 && row < list->count()) {
      list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else {
      list->setCurrentRow(-1, QItemSelectionModel::Clear);
    }
  };
  fill(fAvailable, fModel.Available(), availableRow);
  fill(fSelected, fModel.Selected(), selectedRow);
  UpdateButtons();
}

QList<int> TfrmConnectionList::SelectedRows(const QListWidget* list) {
  QList<int> rows;
  for (const QListWidgetItem* item : list->selectedItems()) rows << list->row(item);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TfrmConnectionList::UpdateButtons() {
  const QList<int> available = SelectedRows(fAvailable);
  const QList<int> selected = SelectedRows(fSelected);
  fAdd->setEnabled(!available.isEmpty());
  fAddIdentical->setEnabled(!available.isEmpty());
  fRemove->setEnabled(!selected.isEmpty());
  fRemoveAll->setEnabled(!fModel.Selected().isEmpty());
  fMoveUp->setEnabled(selected.size() == 1 && fModel.CanMoveUp(selected.first()));
  fMoveDown->setEnabled(selected.size() == 1 && fModel.CanMoveDown(selected.first()));
}

void TfrmConnectionList::AddSelected() {
  const QList<int> rows = SelectedRows(fAvailable);
  if (rows.isEmpty()) return;
  const int next = fModel.Add(rows);
  Refill(next, -1);
}

void TfrmConnectionList::RemoveSelected() {
  const QList<int> rows = SelectedRows(fSelected);
  if (rows.isEmpty()) return;
  const int next = fModel.Remove(rows);
  Refill(-1, next);
}

void TfrmConnectionList::AddAllIdentical() {
  const QList<int> rows = SelectedRows(fAvailable);
  if (rows.isEmpty()) return;
  const int row = fAvailable->currentRow() >= 0 && rows.contains(fAvailable->currentRow()) ? fAvailable->currentRow()
                                                                                           : rows.first();
  const int next = fModel.AddAllIdentical(row);
  Refill(next, -1);
}

void TfrmConnectionList::RemoveAll() {
  fModel.Reset(TNewsServerList::Instance().Entries());
  Refill(-1, -1);
}

void TfrmConnectionList::MoveUp() {
  const QList<int> rows = SelectedRows(fSelected);
  if (rows.size() != 1 || !fModel.MoveUp(rows.first())) return;
  Refill(-1, rows.first() - 1);
}

void TfrmConnectionList::MoveDown() {
  const QList<int> rows = SelectedRows(fSelected);
  if (rows.size() != 1 || !fModel.MoveDown(rows.first())) return;
  Refill(-1, rows.first() + 1);
}

void TfrmConnectionList::EditServers() {
  if (!TUserPrompt::Confirm(u"Editing the servers will discard all changes you may have made to the list of "
                            u"connections. Continue?"_s))
    return;
  RunServerEditor(this);
  // The servers may have changed: everything is available again.
  RemoveAll();
}

void TfrmConnectionList::accept() {
  if (fSetAsDefault->isChecked() && fModel.Selected().isEmpty()) {
    TUserPrompt::Warning(u"You cannot set an empty list of connection as the default."_s);
    return;
  }
  QDialog::accept();
}

// ---------------------------------------------------------------- callers

bool TfrmConnectionList::EditDefaultConnections(QWidget* parent) {
  LOG_METHOD("EditDefaultConnections");
  std::unique_ptr<TfrmConnectionList> form;
  try {
    form = std::make_unique<TfrmConnectionList>(parent);
  } catch (...) {
    LogError(u"Error creating the connection list window."_s);
    TUserPrompt::Error(u"Error creating the connection list window."_s);
    return false;
  }
  const QString path = TConnectionList::DefaultPath(Paths().userDataDir);
  form->LoadFile(path);
  // This is the default list: an empty one is refused on Accept.
  form->SetDefaultBox(true, false);
  if (form->exec() != QDialog::Accepted) return false;
  if (!TConnectionList::Write(path, form->SelectedNames())) {
    LogError(u"Cannot write "_s + path);
    TUserPrompt::Error(u"There was an error while saving the list of connections."_s);
    return false;
  }
  return true;
}

bool TfrmConnectionList::EditDownloadListConnections(QWidget* parent, const QString& downloadListPath,
                                                     bool& unlimited) {
  LOG_METHOD("EditDownloadListConnections");
  std::unique_ptr<TfrmConnectionList> form;
  try {
    form = std::make_unique<TfrmConnectionList>(parent);
  } catch (...) {
    LogError(u"Error creating the connection list window."_s);
    TUserPrompt::Error(u"Error creating the connection list window."_s);
    return false;
  }
  const QString path = TConnectionList::ListPathFor(downloadListPath);
  form->LoadFile(path);
  form->SetUnlimited(unlimited);
  form->SetDefaultBox(false, true);
  if (form->exec() != QDialog::Accepted) return false;
  unlimited = form->Unlimited();
  const QStringList names = form->SelectedNames();
  if (!TConnectionList::Write(path, names))
    TUserPrompt::Error(u"There was an error while saving the list of connections for this download list."_s);
  if (form->SetAsDefault() && !TConnectionList::Write(TConnectionList::DefaultPath(Paths().userDataDir), names))
    TUserPrompt::Error(u"There was an error while saving the list of connections as the default decode connections."_s);
  return true;
}

bool TfrmConnectionList::RevertToDefaultConnections(const QString& downloadListPath) {
  if (!TUserPrompt::Confirm(u"This will delete the list of connections for this download list and revert to the "
                            u"default list. Continue?"_s))
    return false;
  const QString path = TConnectionList::ListPathFor(downloadListPath);
  return !QFileInfo::exists(path) || QFile::remove(path);
}
