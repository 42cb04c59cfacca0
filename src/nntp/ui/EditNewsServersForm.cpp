#include "nntp/ui/EditNewsServersForm.h"

#include "app/AppPaths.h"
#include "app/DayCount.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "nntp/NewsServerList.h"
#include "nntp/ui/CertificateDialog.h"
#include "shell/ShellMessage.h"
#include "shell/TabForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

TfrmEditNewsServers::TNamePrompt gNamePrompt;
TfrmEditNewsServers::TCertificatePrompt gCertificatePrompt;
std::chrono::milliseconds gTestTimeout = kServerTestTimeout;

bool AskName(QWidget* parent, QString& name) {
  if (gNamePrompt) return gNamePrompt(parent, name);
  bool ok = false;
  name = QInputDialog::getText(parent, u"Server name"_s, u"Enter a name for this server"_s, QLineEdit::Normal,
                               QString(), &ok);
  return ok;
}

bool AskCertificate(QWidget* parent, const QString& serverName, const TServerTestReport& report) {
  if (gCertificatePrompt) return gCertificatePrompt(parent, serverName, report);
  return TfrmCertificate::Ask(parent, serverName, report.certificate, report.fingerprint, report.tlsErrorText);
}

// A text field keeps the bytes it was loaded from unless the user changed it,
// so a stored name that is not UTF-8 survives an edit of another field.
QByteArray EditedBytes(const QByteArray& stored, const QString& text) {
  return DisplayText(stored) == text ? stored : text.toUtf8();
}

// A whole number in [low, high]; anything else is refused.
bool ParseCount(const QString& text, int low, int high, int& value) {
  bool ok = false;
  const qlonglong v = text.trimmed().toLongLong(&ok);
  if (!ok || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

// Record counts: an integer is kept, anything else stored as 1.
int CountOrOne(const QString& text) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok ? v : 1;
}

// At most 128 characters, and the UTF-8 form fits the record without a cut.
bool NameTooLong(const QString& name) {
  return name.size() > TNewsServerEntry::kMaxEditorNameLength || name.toUtf8().size() > 254;
}

const QString kServerNameTooLong = u"The name of the server cannot exceed 128 characters."_s;
const QString kServerNameExists = u"A server with that name already exists."_s;

}  // namespace

TfrmEditNewsServers::TfrmEditNewsServers(QWidget* parent) : QDialog(parent) {
  setObjectName(u"frmEditNewsServers"_s);
  setWindowTitle(u"Edit NNTP Servers"_s);
  CreateControls();
  LoadServers();
}

void TfrmEditNewsServers::SetNamePrompt(TNamePrompt prompt) { gNamePrompt = std::move(prompt); }
void TfrmEditNewsServers::SetCertificatePrompt(TCertificatePrompt prompt) { gCertificatePrompt = std::move(prompt); }
void TfrmEditNewsServers::SetTestTimeout(std::chrono::milliseconds timeout) { gTestTimeout = timeout; }

QString TfrmEditNewsServers::UnreadableFileMessage() {
  return u"The list of news servers could not be read. It cannot be edited until the file \"_Servers_NNTP.dat\" in "
         u"the user data directory can be read again."_s;
}

QString TfrmEditNewsServers::InvalidNameMessage() {
  return u"A server name cannot be \".\" or \"..\", and cannot contain \"/\", \"\\\" or control characters."_s;
}

// ---------------------------------------------------------------- layout

QLineEdit* TfrmEditNewsServers::AddLineEdit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QLatin1String(name));
  connect(edit, &QLineEdit::textEdited, this, &TfrmEditNewsServers::FieldChanged);
  // Enter saves when there is something to save.
  connect(edit, &QLineEdit::returnPressed, this, [this] {
    if (fSave->isEnabled()) SaveEntry();
  });
  return edit;
}

void TfrmEditNewsServers::CreateControls() {
  const auto button = [this](const QString& text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    // Enter belongs to the fields: it saves, it never presses a button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
  };

  fList = new QListWidget(this);
  fList->setObjectName(u"lstServers"_s);
  fList->setSelectionMode(QAbstractItemView::SingleSelection);
  fList->setMinimumWidth(180);
  connect(fList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!fLoading) SelectRow(row);
  });
  connect(fList, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { MakeDefault(fList->row(item)); });

  fNew = button(u"New"_s, "btnNew");
  fDelete = button(u"Delete"_s, "btnDelete");
  fMoveUp = button(u"Move up"_s, "btnMoveUp");
  fMoveUp->setToolTip(u"Move server up in list"_s);
  fMoveDown = button(u"Move down"_s, "btnMoveDown");
  fMoveDown->setToolTip(u"Move server down in list"_s);
  connect(fNew, &QPushButton::clicked, this, &TfrmEditNewsServers::NewServer);
  connect(fDelete, &QPushButton::clicked, this, &TfrmEditNewsServers::DeleteServer);
  connect(fMoveUp, &QPushButton::clicked, this, &TfrmEditNewsServers::MoveUp);
  connect(fMoveDown, &QPushButton::clicked, this, &TfrmEditNewsServers::MoveDown);

  auto* listButtons = new QHBoxLayout;
  for (QPushButton* b : {fNew, fDelete, fMoveUp, fMoveDown}) listButtons->addWidget(b);
  auto* left = new QVBoxLayout;
  auto* listLabel = new QLabel(u"News servers (double-click to make one the default):"_s, this);
  listLabel->setWordWrap(true);
  left->addWidget(listLabel);
  left->addWidget(fList, 1);
  left->addLayout(listButtons);

  fName = AddLineEdit("edtName");
  fName->setMaxLength(TNewsServerEntry::kNameCapacity);
  fHost = AddLineEdit("edtHost");
  fHost->setMaxLength(TNewsServerEntry::kHostCapacity);
  fPort = AddLineEdit("edtPort");
  fSecurity = new QComboBox(this);
  fSecurity->setObjectName(u"cmbSecurity"_s);
  fSecurity->addItems({u"None (plain text)"_s, u"TLS on connect"_s, u"STARTTLS"_s});
  connect(fSecurity, &QComboBox::activated, this, &TfrmEditNewsServers::SecurityChanged);
  fUserName = AddLineEdit("edtUserName");
  fUserName->setMaxLength(TNewsServerEntry::kUserCapacity);
  fPassword = AddLineEdit("edtPassword");
  fPassword->setMaxLength(TNewsServerEntry::kPasswordCapacity);
  fPassword->setEchoMode(QLineEdit::Password);
  fDownloadLimit = new QCheckBox(u"Server has a download limit (of any type)"_s, this);
  fDownloadLimit->setObjectName(u"chkDownloadLimit"_s);
  connect(fDownloadLimit, &QCheckBox::clicked, this, &TfrmEditNewsServers::FieldChanged);
  fMaxConnections = AddLineEdit("edtMaxConnections");
  fCountConnections = AddLineEdit("edtCountConnections");
  fHeaderConnections = AddLineEdit("edtHeaderConnections");
  fCertificate = new QLabel(this);
  fCertificate->setObjectName(u"lblCertificate"_s);
  fCertificate->setWordWrap(true);
  fCertificate->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* form = new QFormLayout;
  form->addRow(u"Name:"_s, fName);
  form->addRow(u"Server address:"_s, fHost);
  form->addRow(u"Port:"_s, fPort);
  form->addRow(u"Security:"_s, fSecurity);
  form->addRow(u"User name:"_s, fUserName);
  form->addRow(u"Password:"_s, fPassword);
  form->addRow(QString(), fDownloadLimit);
  form->addRow(u"Maximum connections:"_s, fMaxConnections);
  form->addRow(u"Connections for article counts:"_s, fCountConnections);
  form->addRow(u"Connections for headers:"_s, fHeaderConnections);
  form->addRow(QString(), fCertificate);

  fSave = button(u"Save"_s, "btnSave");
  fCancel = button(u"Cancel"_s, "btnCancel");
  fTest = button(u"Test connection"_s, "btnTest");
  fClose = button(u"Close"_s, "btnClose");
  connect(fSave, &QPushButton::clicked, this, &TfrmEditNewsServers::SaveEntry);
  connect(fCancel, &QPushButton::clicked, this, &TfrmEditNewsServers::CancelEdit);
  connect(fTest, &QPushButton::clicked, this, &TfrmEditNewsServers::TestConnection);
  connect(fClose, &QPushButton::clicked, this, &TfrmEditNewsServers::reject);
  auto* editButtons = new QHBoxLayout;
  editButtons->addWidget(fSave);
  editButtons->addWidget(fCancel);
  editButtons->addWidget(fTest);
  editButtons->addStretch(1);
  editButtons->addWidget(fClose);

  auto* right = new QVBoxLayout;
  right->addLayout(form);
  right->addStretch(1);
  right->addLayout(editButtons);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 2);
  layout->addLayout(right, 3);
  resize(760, 420);
}

// ---------------------------------------------------------------- list

bool TfrmEditNewsServers::LoadServers() {
  LOG_METHOD("TfrmEditNewsServers.LoadServers");
  const bool ok = TNewsServerList::ReadFile(Paths().userDataDir, Paths().serversDir, fEntries);
  if (!ok) fEntries.clear();
  fUnreadable = !ok;
  SetModified(false);
  FillList(fEntries.isEmpty() ? -1 : 0);
  return ok;
}

bool TfrmEditNewsServers::IsDefault(const TNewsServerEntry& entry) const {
  // The first server of that name is the default one.
  for (const TNewsServerEntry& e : fEntries)
    if (e.NameEquals(Settings().DefaultNewsServer)) return &e == &entry;
  return false;
}

void TfrmEditNewsServers::MarkDefault() {
  for (int i = 0; i < fList->count() && i < fEntries.size(); ++i) {
    QListWidgetItem* item = fList->item(i);
    const bool isDefault = IsDefault(fEntries[i]);
    QFont font = item->font();
    font.setBold(isDefault);
    item->setFont(font);
    item->setToolTip(isDefault ? u"Default server"_s : QString());
  }
}

void TfrmEditNewsServers::FillList(int select) {
  fLoading = true;
  fList->clear();
  for (const TNewsServerEntry& e : fEntries) fList->addItem(e.Name());
  MarkDefault();
  fLoading = false;
  SelectRow(select < fEntries.size() ? select : static_cast<int>(fEntries.size()) - 1);
}

void TfrmEditNewsServers::SelectRow(int row) {
  fRow = row >= 0 && row < fEntries.size() ? row : -1;
  {
    const bool loading = fLoading;
    fLoading = true;
    fList->setCurrentRow(fRow);
    fLoading = loading;
  }
  if (fRow < 0)
    ClearFields();
  else
    LoadFields(fRow);
}

void TfrmEditNewsServers::LoadFields(int row) {
  fWorking = fEntries[row];
  fLoading = true;
  fName->setText(fWorking.Name());
  fHost->setText(DisplayText(fWorking.host));
  fPort->setText(QString::number(fWorking.port));
  fSecurityIndex = fWorking.Security();
  fSecurity->setCurrentIndex(fSecurityIndex);
  fUserName->setText(DisplayText(fWorking.userName));
  fPassword->setText(DisplayText(fWorking.password));
  fDownloadLimit->setChecked(fWorking.downloadLimit);
  fMaxConnections->setText(QString::number(fWorking.maxConnections));
  fCountConnections->setText(QString::number(fWorking.countConnections));
  fHeaderConnections->setText(QString::number(fWorking.headerConnections));
  fLoading = false;
  UpdateCertificateLabel();
  SetModified(false);
}

void TfrmEditNewsServers::ClearFields() {
  fWorking = TNewsServerEntry::Init();
  fLoading = true;
  for (QLineEdit* e :
       {fName, fHost, fPort, fUserName, fPassword, fMaxConnections, fCountConnections, fHeaderConnections})
    e->clear();
  fSecurityIndex = 0;
  fSecurity->setCurrentIndex(0);
  fDownloadLimit->setChecked(false);
  fLoading = false;
  UpdateCertificateLabel();
  SetModified(false);
}

void TfrmEditNewsServers::UpdateCertificateLabel() {
  if (fRow < 0 || fEntries[fRow].acceptedFingerprint.isEmpty()) {
    fCertificate->clear();
    return;
  }
  fCertificate->setText(u"Accepted certificate (SHA-256): "_s +
                        TfrmCertificate::FormatFingerprint(QByteArray::fromHex(fEntries[fRow].acceptedFingerprint)));
}

void TfrmEditNewsServers::FieldChanged() {
  if (!fLoading && fRow >= 0) SetModified(true);
}

void TfrmEditNewsServers::SecurityChanged(int index) {
  if (fLoading || fRow < 0) return;
  // TLS on connect has a port of its own; propose it, and the plain port back.
  const QString port = fPort->text().trimmed();
  if (index == SECURITY_TLS && (port.isEmpty() || port == u"119"_s))
    fPort->setText(u"563"_s);
  else if (fSecurityIndex == SECURITY_TLS && index != SECURITY_TLS && port == u"563"_s)
    fPort->setText(u"119"_s);
  fSecurityIndex = index;
  SetModified(true);
}

void TfrmEditNewsServers::SetModified(bool modified) {
  fModified = modified;
  UpdateButtons();
}

void TfrmEditNewsServers::UpdateButtons() {
  const bool selected = fRow >= 0;
  fList->setEnabled(!fModified);
  fNew->setEnabled(!fModified && !fUnreadable);
  fDelete->setEnabled(!fModified && selected);
  fMoveUp->setEnabled(!fModified && selected && fRow > 0);
  fMoveDown->setEnabled(!fModified && selected && fRow + 1 < fEntries.size());
  fSave->setEnabled(fModified);
  fCancel->setEnabled(fModified);
  fTest->setEnabled(selected);
  for (QWidget* w :
       std::initializer_list<QWidget*>{fName, fHost, fPort, fSecurity, fUserName, fPassword, fDownloadLimit,
                                       fMaxConnections, fCountConnections, fHeaderConnections})
    w->setEnabled(selected);
}

// ---------------------------------------------------------------- closing

bool TfrmEditNewsServers::RefuseClosing() {
  if (fTesting) return true;
  if (!fModified) return false;
  TUserPrompt::Warning(u"Please save or cancel your changes before closing the window."_s);
  return true;
}

void TfrmEditNewsServers::reject() {
  if (!RefuseClosing()) QDialog::reject();
}

void TfrmEditNewsServers::closeEvent(QCloseEvent* event) {
  if (RefuseClosing())
    event->ignore();
  else
    QDialog::closeEvent(event);
}

// ---------------------------------------------------------------- rewrites

bool TfrmEditNewsServers::Rewrite(const QList<TNewsServerEntry>& entries, TRewriteFailure* failure) {
  if (fUnreadable) {
    LogError(u"Not rewriting the news server file: it could not be read"_s);
    if (failure) *failure = REWRITE_CREATE_FAILED;
    return false;
  }
  if (!TNewsServerList::Instance().SaveAll(Paths().userDataDir, entries, failure)) return false;
  fEntries = entries;
  return true;
}

bool TfrmEditNewsServers::NameTaken(const QString& name, int exceptRow) const {
  for (int i = 0; i < fEntries.size(); ++i)
    if (i != exceptRow && fEntries[i].NameEquals(name)) return true;
  return false;
}

void TfrmEditNewsServers::NewServer() {
  LOG_METHOD("TfrmEditNewsServers.NewServer");
  if (fModified) return;
  QString name;
  if (!AskName(this, name)) return;
  name = name.trimmed();
  if (name.isEmpty()) return;
  if (NameTooLong(name)) {
    TUserPrompt::Warning(kServerNameTooLong);
    return;
  }
  if (!TNewsServerList::IsValidServerName(name)) {
    TUserPrompt::Warning(InvalidNameMessage());
    return;
  }
  if (NameTaken(name, -1)) {
    TUserPrompt::Warning(kServerNameExists);
    return;
  }
  TNewsServerEntry entry = TNewsServerEntry::Init();
  entry.name = name.toUtf8();
  entry.lastCheckDate = NowAsDays();
  QList<TNewsServerEntry> entries = fEntries;
  entries << entry;
  TRewriteFailure failure = REWRITE_OK;
  if (!Rewrite(entries, &failure)) {
    TUserPrompt::Error(failure == REWRITE_REPLACE_FAILED
                           ? u"Error while trying to save this new server. It has not been saved."_s
                           : u"Error while trying to save this new server. Nothing saved."_s);
    return;
  }
  // Through the same lookup as the loader, so a directory left with another case is the one used.
  if (!Paths().serversDir.isEmpty())
    QDir().mkpath(TNewsServerList::ServerDirectory(Paths().serversDir, name) + u"_Favorites/"_s);
  if (fEntries.size() == 1) {
    Settings().DefaultNewsServer = name;
    WriteConfigs(Paths().userDataDir);
  }
  FillList(static_cast<int>(fEntries.size()) - 1);
  fHost->setFocus();
}

bool TfrmEditNewsServers::Fail(const QString& message, TField field) {
  TUserPrompt::Warning(message);
  QLineEdit* edits[] = {fName, fHost, fPort, fMaxConnections, fCountConnections, fHeaderConnections};
  edits[field]->setFocus();
  return false;
}

TNewsServerEntry TfrmEditNewsServers::EntryFromFields() const {
  TNewsServerEntry e = fWorking;
  const QString name = fName->text();
  e.name = name == fWorking.Name() ? fWorking.name : name.trimmed().toUtf8();
  e.host = EditedBytes(fWorking.host, fHost->text());
  bool ok = false;
  const int port = fPort->text().trimmed().toInt(&ok);
  e.port = ok ? port : fWorking.port;
  e.SetSecurity(static_cast<TSecurityMode>(fSecurity->currentIndex()));
  e.userName = EditedBytes(fWorking.userName, fUserName->text());
  e.password = EditedBytes(fWorking.password, fPassword->text());
  e.downloadLimit = fDownloadLimit->isChecked();
  e.maxConnections = static_cast<std::int16_t>(CountOrOne(fMaxConnections->text()));
  e.countConnections = static_cast<std::uint16_t>(CountOrOne(fCountConnections->text()));
  e.headerConnections = static_cast<std::uint16_t>(CountOrOne(fHeaderConnections->text()));
  return e;
}

bool TfrmEditNewsServers::SaveEntry() {
  LOG_METHOD("TfrmEditNewsServers.SaveEntry");
  if (fRow < 0) return false;
  const TNewsServerEntry stored = fEntries[fRow];
  const QString oldName = stored.Name();
  const bool nameEdited = fName->text() != oldName;
  const QString newName = nameEdited ? fName->text().trimmed() : oldName;

  if (newName.isEmpty()) return Fail(u"This entry must have a name."_s, FIELD_NAME);
  if (nameEdited) {
    // The name becomes a directory and is the server's identity everywhere.
    if (NameTooLong(newName)) return Fail(kServerNameTooLong, FIELD_NAME);
    if (!TNewsServerList::IsValidServerName(newName)) return Fail(InvalidNameMessage(), FIELD_NAME);
    if (NameTaken(newName, fRow)) return Fail(kServerNameExists, FIELD_NAME);
  }
  if (fHost->text().trimmed().isEmpty()) return Fail(u"You must enter the name of the server."_s, FIELD_HOST);
  int port = 0, maxConnections = 0, count = 0, headers = 0;
  if (!ParseCount(fPort->text(), 1, 65535, port))
    return Fail(u"You must enter the port number for this server."_s, FIELD_PORT);
  if (!ParseCount(fMaxConnections->text(), 1, 32767, maxConnections))
    return Fail(u"You must enter a number of connections for this server."_s, FIELD_MAX);
  // Counts above 100 would be read back as 1.
  if (!ParseCount(fCountConnections->text(), 1, 100, count))
    return Fail(
        u"You must enter the default number of connection(s) for retrieving article counts in the newsgroups tab."_s,
        FIELD_COUNT);
  if (count > maxConnections)
    return Fail(
        u"You specified more connections for retrieving article counts than the maximum number of "
        u"connections for this server."_s,
        FIELD_COUNT);
  if (!ParseCount(fHeaderConnections->text(), 1, 100, headers))
    return Fail(u"You must enter the default number of connection(s) for downloading headers."_s, FIELD_HEADERS);
  if (headers > maxConnections)
    return Fail(
        u"You specified more connections for downloading headers than the maximum number of connections "
        u"for this server."_s,
        FIELD_HEADERS);

  // The directory follows the name, also when only its case changed, so the
  // name on disk is always the server's own.
  const QString serversDir = Paths().serversDir;
  QString renamedFrom, renamedTo;
  if (newName != oldName && !serversDir.isEmpty()) {
    const bool caseOnly = newName.compare(oldName, Qt::CaseInsensitive) == 0;
    const QString oldDir = TNewsServerList::IsValidServerName(oldName)
                               ? WithoutTrailingSlash(TNewsServerList::ServerDirectory(serversDir, oldName))
                               : QString();
    const QString newDir = serversDir + newName;
    // For a change of case the lookup without case would find the old directory itself.
    const bool newTaken = caseOnly ? QFileInfo::exists(newDir) : QFileInfo::exists(FindFileNoCase(serversDir, newName));
    if (!oldDir.isEmpty() && oldDir == newDir) {
      // Already so named on disk.
    } else if (!oldDir.isEmpty() && QFileInfo(oldDir).isDir()) {
      if (!newTaken && QDir().rename(oldDir, newDir)) {
        renamedFrom = oldDir;
        renamedTo = newDir;
      } else if (!TUserPrompt::Confirm(u"The directory containing this news server could not be renamed to \""_s +
                                       newName + u"\". Do you want to save the changes anyway?"_s)) {
        return false;
      }
    } else if (newTaken) {
      return Fail(
          u"A server with that name, or a directory with this name already exists. Please change the name "
          u"and try again."_s,
          FIELD_NAME);
    }
  }
  const auto undoRename = [&] {
    if (!renamedFrom.isEmpty() && !QDir().rename(renamedTo, renamedFrom))
      LogError(u"Could not rename "_s + renamedTo + u" back to "_s + renamedFrom);
  };

  if (!QFileInfo::exists(TNewsServerList::FilePath(Paths().userDataDir))) {
    undoRename();
    TUserPrompt::Error(u"Server file is missing."_s);
    return false;
  }
  TNewsServerEntry entry = EntryFromFields();
  entry.name = nameEdited ? newName.toUtf8() : stored.name;
  entry.port = port;
  QList<TNewsServerEntry> entries = fEntries;
  entries[fRow] = entry;
  TRewriteFailure failure = REWRITE_OK;
  if (!Rewrite(entries, &failure)) {
    undoRename();
    TUserPrompt::Error(failure == REWRITE_CREATE_FAILED ? u"Error saving this entry."_s : u"Error saving changes."_s);
    LoadFields(fRow);
    return false;
  }

  if (newName != oldName) {
    fList->item(fRow)->setText(newName);
    if (!Settings().DefaultNewsServer.isEmpty() && stored.NameEquals(Settings().DefaultNewsServer)) {
      Settings().DefaultNewsServer = newName;
      WriteConfigs(Paths().userDataDir);
    }
  }
  MarkDefault();
  LoadFields(fRow);
  return true;
}

void TfrmEditNewsServers::CancelEdit() {
  if (fRow >= 0) LoadFields(fRow);
}

bool TfrmEditNewsServers::RemoveServerDirectory(const QString& serversDir, const QString& name) {
  const QString dir = WithoutTrailingSlash(TNewsServerList::ServerDirectory(serversDir, name));
  const QFileInfo info(dir);
  if (!info.exists() && !info.isSymLink()) return true;
  // A link is removed, never what it points to.
  if (info.isSymLink() || !info.isDir()) return QFile::remove(dir);
  // Only a directory right inside the servers directory.
  if (QFileInfo(info.canonicalPath()).canonicalFilePath() != QFileInfo(serversDir).canonicalFilePath()) {
    LogError(u"Refusing to delete "_s + dir + u": not inside "_s + serversDir);
    return false;
  }
  return QDir(dir).removeRecursively();
}

void TfrmEditNewsServers::DeleteServer() {
  LOG_METHOD("TfrmEditNewsServers.DeleteServer");
  if (fRow < 0 || fModified) return;
  if (!TUserPrompt::Confirm(
          u"Deleting this entry will delete all files of this News servers, including attachments. Proceed?"_s))
    return;
  const int row = fRow;
  const TNewsServerEntry entry = fEntries[row];
  const bool wasDefault = IsDefault(fEntries[row]);
  // A name that cannot be a directory never had one: nothing on disk is touched.
  if (TNewsServerList::IsValidServerName(entry.Name()) && !Paths().serversDir.isEmpty() &&
      !RemoveServerDirectory(Paths().serversDir, entry.Name()) &&
      !TUserPrompt::Confirm(u"There was an error while deleting some of this profile's files. Do you still want to "
                            u"remove it from the list of News servers?"_s))
    return;
  QList<TNewsServerEntry> entries = fEntries;
  entries.removeAt(row);
  if (!Rewrite(entries)) {
    TUserPrompt::Error(u"Error deleting this entry."_s);
    return;
  }
  if (wasDefault) {
    // The next server in the list takes over, so there is always a default.
    Settings().DefaultNewsServer = fEntries.isEmpty() ? QString() : fEntries.first().Name();
    WriteConfigs(Paths().userDataDir);
  }
  FillList(row < fEntries.size() ? row : row - 1);
}

void TfrmEditNewsServers::MoveUp() {
  if (fRow <= 0 || fModified) return;
  QList<TNewsServerEntry> entries = fEntries;
  entries.swapItemsAt(fRow, fRow - 1);
  // On failure the order shown stays the order on disk.
  if (!Rewrite(entries)) return;
  FillList(fRow - 1);
}

void TfrmEditNewsServers::MoveDown() {
  if (fRow < 0 || fRow + 1 >= fEntries.size() || fModified) return;
  QList<TNewsServerEntry> entries = fEntries;
  entries.swapItemsAt(fRow, fRow + 1);
  if (!Rewrite(entries)) return;
  FillList(fRow + 1);
}

void TfrmEditNewsServers::MakeDefault(int row) {
  if (fModified || row < 0 || row >= fEntries.size()) return;
  const QString name = fEntries[row].Name();
  if (!TNewsServerList::IsValidServerName(name)) return;
  Settings().DefaultNewsServer = name;
  WriteConfigs(Paths().userDataDir);
  MarkDefault();
}

// ---------------------------------------------------------------- test

void TfrmEditNewsServers::TestConnection() {
  LOG_METHOD("TfrmEditNewsServers.TestConnection");
  if (fRow < 0 || fTesting) return;
  if (fHost->text().trimmed().isEmpty()) {
    TUserPrompt::Warning(u"You must enter the server address."_s);
    fHost->setFocus();
    return;
  }
  if (fPort->text().trimmed().isEmpty()) {
    TUserPrompt::Warning(u"You must enter the server port."_s);
    fPort->setFocus();
    return;
  }
  TNewsServerEntry probe = EntryFromFields();
  bool portOk = false;
  probe.port = fPort->text().trimmed().toInt(&portOk);
  if (!portOk) probe.port = 0;  // the client refuses it and the test says so

  const auto runTest = [&](QString& message, TServerTestReport& report) {
    // The window stays put while the event loop runs the test.
    fTesting = true;
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = TestNewsServer(probe, 0, message, &report, gTestTimeout);
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    fTesting = false;
    return result;
  };

  QString message;
  TServerTestReport report;
  int result = runTest(message, report);
  const int row = fRow;
  const QString serverName = fEntries[row].Name();
  if (result == SERVER_TEST_CERTIFICATE_UNTRUSTED && !report.fingerprint.isEmpty()) {
    if (!AskCertificate(this, serverName, report)) return;
    const QByteArray hex = report.fingerprint.toHex();
    if (!TNewsServerList::IsValidServerName(serverName) || Paths().serversDir.isEmpty() ||
        !TNewsServerList::WriteTrustedFingerprint(TNewsServerList::ServerDirectory(Paths().serversDir, serverName),
                                                  hex)) {
      TUserPrompt::Error(u"The certificate could not be stored for this server."_s);
      return;
    }
    fEntries[row].acceptedFingerprint = hex;
    fWorking.acceptedFingerprint = hex;
    probe.acceptedFingerprint = hex;
    UpdateCertificateLabel();
    result = runTest(message, report);
  }
  if (message.isEmpty()) return;
  if (result == SERVER_TEST_OK)
    TUserPrompt::Information(message);
  else
    TUserPrompt::Warning(message);
}

// ---------------------------------------------------------------- command

bool TfrmEditNewsServers::EditNewsServers(QWidget* parent) {
  LOG_METHOD("EditNewsServers");
  std::unique_ptr<TfrmEditNewsServers> form;
  try {
    form = std::make_unique<TfrmEditNewsServers>(parent);
  } catch (...) {
    LogError(u"Error creating the nntp servers edit window."_s);
    TUserPrompt::Error(u"Error creating the nntp servers edit window."_s);
    return false;
  }
  if (!form->CanEdit()) {
    TUserPrompt::Error(UnreadableFileMessage());
    return false;
  }
  try {
    form->exec();
  } catch (...) {
    LogError(u"Error showing the nntp servers edit window."_s);
    TUserPrompt::Error(u"Error showing the nntp servers edit window."_s);
  }
  form.reset();
  if (!TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir))
    TUserPrompt::Error(u"Error reloading the list of nntp servers. Please restart the application when possible."_s);
  return true;
}

void TfrmEditNewsServers::NotifyServerListChanged(QWidget* from) {
  QWidget* top = from ? from->window() : nullptr;
  // A dialog's window is itself; its owner chain leads to the main window.
  while (top && !qobject_cast<TfrmTabForm*>(top)) top = top->parentWidget() ? top->parentWidget()->window() : nullptr;
  if (auto* main = qobject_cast<TfrmTabForm*>(top)) main->Broadcast(shellmsg::TM_NEWS_SERVERS_CHANGED);
}
