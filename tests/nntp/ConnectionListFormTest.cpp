// The "Connection list" editor: moving connections between the two lists
// with the selection where a user expects it, the buttons' enabled states,
// the refusal of an empty default list, and its callers saving the files.
#include "shell/ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/Settings.h"
#include "nntp/ConnectionList.h"
#include "nntp/NewsServerList.h"
#include "nntp/ui/ConnectionListForm.h"
#include "support/TempDir.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

class TConnectionListFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void addAndRemoveKeepSelectionNearby();
  void orderButtonsAndIdenticalConnections();
  void emptyDefaultIsRefused();
  void editingServersStartsAfresh();
  void defaultListCommand();
  void downloadListCallers();

 private:
  void SetServers(const QList<std::pair<QString, int>>& servers);
  std::unique_ptr<TfrmConnectionList> Open(const QString& file = {});
  QStringList Texts(const char* list) const;
  QListWidget* List(const char* name) const { return fForm->findChild<QListWidget*>(QLatin1String(name)); }
  QPushButton* Button(const char* name) const { return fForm->findChild<QPushButton*>(QLatin1String(name)); }
  void SelectRows(const char* list, const QList<int>& rows);
  // Runs body on the modal editor once it is shown.
  static void OnModalEditor(std::function<void(TfrmConnectionList*)> body);

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
  std::unique_ptr<TfrmConnectionList> fForm;
};

void TConnectionListFormTest::init() {
  fDir = std::make_unique<TTempDir>();
  fPrompt = std::make_unique<TFakePrompt>();
  Settings() = TSettings();
  SetPaths(fDir->Path());
  CreateDirectories();
  SetServers({{u"Alpha"_s, 2}, {u"Beta"_s, 3}});
}

void TConnectionListFormTest::cleanup() {
  fForm.reset();
  TfrmConnectionList::SetServerEditor({});
  fPrompt.reset();
  fDir.reset();
}

void TConnectionListFormTest::SetServers(const QList<std::pair<QString, int>>& servers) {
  QList<TNewsServerEntry> entries;
  for (const auto& [name, max] : servers) {
    TNewsServerEntry e = TNewsServerEntry::Init();
    e.name = name.toUtf8();
    e.maxConnections = static_cast<std::int16_t>(max);
    entries << e;
  }
  QVERIFY(TNewsServerList::Instance().SaveAll(Paths().userDataDir, entries));
}

std::unique_ptr<TfrmConnectionList> TConnectionListFormTest::Open(const QString& file) {
  auto form = std::make_unique<TfrmConnectionList>();
  if (!file.isEmpty()) form->LoadFile(file);
  form->show();
  return form;
}

QStringList TConnectionListFormTest::Texts(const char* list) const {
  QStringList texts;
  const QListWidget* w = List(list);
  for (int i = 0; i < w->count(); ++i) texts << w->item(i)->text();
  return texts;
}

void TConnectionListFormTest::SelectRows(const char* list, const QList<int>& rows) {
  QListWidget* w = List(list);
  w->clearSelection();
  for (int r : rows) w->item(r)->setSelected(true);
}

void TConnectionListFormTest::OnModalEditor(std::function<void(TfrmConnectionList*)> body) {
  QTimer::singleShot(0, [body] {
    auto* form = qobject_cast<TfrmConnectionList*>(QApplication::activeModalWidget());
    if (!form) qFatal("the connection list editor is not shown");
    body(form);
    // A failed check must not leave the test waiting on an open dialog.
    if (form->isVisible()) form->reject();
  });
}

void TConnectionListFormTest::addAndRemoveKeepSelectionNearby() {
  const QString file = fDir->Write(u"list.srv"_s, "beta\n; a comment\n\n// another\nAlpha\n");
  fForm = Open(file);
  QCOMPARE(Texts("lstSelected"), (QStringList{u"Beta"_s, u"Alpha"_s}));
  QCOMPARE(Texts("lstAvailable"), (QStringList{u"Alpha"_s, u"Beta"_s, u"Beta"_s}));
  QVERIFY(!Button("btnAdd")->isEnabled());

  // Two entries at once go to the end, in list order; the entry now at the
  // old position is selected.
  SelectRows("lstAvailable", {2, 0});
  Button("btnAdd")->click();
  QCOMPARE(Texts("lstSelected"), (QStringList{u"Beta"_s, u"Alpha"_s, u"Alpha"_s, u"Beta"_s}));
  QCOMPARE(Texts("lstAvailable"), QStringList{u"Beta"_s});
  QCOMPARE(List("lstAvailable")->currentRow(), 0);
  QVERIFY(List("lstAvailable")->item(0)->isSelected());

  // A double-click moves the entry it hits.
  QListWidget* selected = List("lstSelected");
  const QPoint at = selected->visualItemRect(selected->item(3)).center();
  QTest::mouseClick(selected->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(selected->viewport(), Qt::LeftButton, {}, at);
  QCOMPARE(Texts("lstSelected"), (QStringList{u"Beta"_s, u"Alpha"_s, u"Alpha"_s}));
  QCOMPARE(Texts("lstAvailable"), (QStringList{u"Beta"_s, u"Beta"_s}));
  // The last entry went: its upper neighbour is selected.
  QCOMPARE(selected->currentRow(), 2);

  Button("btnRemoveAll")->click();
  QVERIFY(Texts("lstSelected").isEmpty());
  QCOMPARE(Texts("lstAvailable").size(), 5);
}

void TConnectionListFormTest::orderButtonsAndIdenticalConnections() {
  fForm = Open();
  QAction* identical = fForm->findChild<QAction*>(u"actAddIdentical"_s);
  QVERIFY(!identical->isEnabled());
  SelectRows("lstAvailable", {3});
  QVERIFY(identical->isEnabled());
  identical->trigger();
  QCOMPARE(Texts("lstSelected"), (QStringList{u"Beta"_s, u"Beta"_s, u"Beta"_s}));
  QCOMPARE(Texts("lstAvailable"), (QStringList{u"Alpha"_s, u"Alpha"_s}));
  SelectRows("lstAvailable", {0});
  Button("btnAdd")->click();

  struct {
    QList<int> rows;
    bool up, down;
  } const states[] = {
      {{0}, false, true}, {{3}, true, false}, {{1}, true, true}, {{1, 2}, false, false}, {{}, false, false}};
  for (const auto& s : states) {
    SelectRows("lstSelected", s.rows);
    QCOMPARE(Button("btnMoveUp")->isEnabled(), s.up);
    QCOMPARE(Button("btnMoveDown")->isEnabled(), s.down);
  }
  SelectRows("lstSelected", {3});
  Button("btnMoveUp")->click();
  Button("btnMoveUp")->click();
  QCOMPARE(fForm->SelectedNames(), (QStringList{u"Beta"_s, u"Alpha"_s, u"Beta"_s, u"Beta"_s}));
  QCOMPARE(List("lstSelected")->currentRow(), 1);
  Button("btnMoveDown")->click();
  QCOMPARE(fForm->SelectedNames(), (QStringList{u"Beta"_s, u"Beta"_s, u"Alpha"_s, u"Beta"_s}));
}

void TConnectionListFormTest::emptyDefaultIsRefused() {
  fForm = Open();
  fForm->SetDefaultBox(true, true);
  fForm->accept();
  QCOMPARE(fPrompt->Log(), QStringList{u"warning: You cannot set an empty list of connection as the default."_s});
  QVERIFY(fForm->isVisible());
  // Not the default: an empty selection is fine (it deletes the file).
  fForm->SetDefaultBox(false, true);
  fForm->accept();
  QCOMPARE(fForm->result(), int(QDialog::Accepted));
}

void TConnectionListFormTest::editingServersStartsAfresh() {
  const QString file = fDir->Write(u"list.srv"_s, "Alpha\nBeta\n");
  int edited = 0;
  TfrmConnectionList::SetServerEditor([&](QWidget*) {
    ++edited;
    SetServers({{u"Gamma"_s, 1}, {u"Alpha"_s, 1}});
    return true;
  });
  fForm = Open(file);
  fPrompt->confirmAnswer = false;
  Button("btnEditServers")->click();
  QCOMPARE(edited, 0);
  QCOMPARE(fForm->SelectedNames(), (QStringList{u"Alpha"_s, u"Beta"_s}));
  fPrompt->confirmAnswer = true;
  Button("btnEditServers")->click();
  QCOMPARE(edited, 1);
  QCOMPARE(fPrompt->Log().last(),
           u"confirm: Editing the servers will discard all changes you may have made to the list of connections. "
           u"Continue?"_s);
  QVERIFY(fForm->SelectedNames().isEmpty());
  QCOMPARE(Texts("lstAvailable"), (QStringList{u"Gamma"_s, u"Alpha"_s}));
}

void TConnectionListFormTest::defaultListCommand() {
  const QString path = TConnectionList::DefaultPath(Paths().userDataDir);
  fDir->Write(QLatin1String(TConnectionList::kDefaultFileName), "Alpha\n");

  // Cancel keeps the file; an emptied default list is refused, so the
  // editor stays until something is selected.
  OnModalEditor([](TfrmConnectionList* form) { form->reject(); });
  QVERIFY(!TfrmConnectionList::EditDefaultConnections(nullptr));
  QCOMPARE(fDir->Read(QLatin1String(TConnectionList::kDefaultFileName)), QByteArray("Alpha\n"));

  OnModalEditor([this](TfrmConnectionList* form) {
    auto* box = form->findChild<QCheckBox*>(u"chkSetAsDefault"_s);
    QVERIFY(box->isChecked() && !box->isEnabled());
    QVERIFY(!form->findChild<QCheckBox*>(u"chkUnlimited"_s)->isVisibleTo(form));
    form->RemoveAll();
    form->accept();
    QVERIFY(form->isVisible());
    auto* available = form->findChild<QListWidget*>(u"lstAvailable"_s);
    available->item(2)->setSelected(true);
    available->item(3)->setSelected(true);
    form->AddSelected();
    form->accept();
    QCOMPARE(fPrompt->calls.size(), 1);
  });
  QVERIFY(TfrmConnectionList::EditDefaultConnections(nullptr));
  QCOMPARE(fDir->Read(QLatin1String(TConnectionList::kDefaultFileName)), QByteArray("Beta\nBeta\n"));
  QVERIFY(QFileInfo::exists(path));
}

void TConnectionListFormTest::downloadListCallers() {
  const QString cue = fDir->Write(u"_Usenet/_DownloadLists/Holiday.cue"_s, "");
  const QString srv = TConnectionList::ListPathFor(cue);
  const QString defaultList = TConnectionList::DefaultPath(Paths().userDataDir);

  // Accept stores the switch and the list, and the default list when asked.
  bool unlimited = false;
  OnModalEditor([](TfrmConnectionList* form) {
    auto* box = form->findChild<QCheckBox*>(u"chkUnlimited"_s);
    QVERIFY(box->isVisibleTo(form) && !box->isChecked());
    box->setChecked(true);
    form->findChild<QCheckBox*>(u"chkSetAsDefault"_s)->setChecked(true);
    form->findChild<QListWidget*>(u"lstAvailable"_s)->item(0)->setSelected(true);
    form->AddSelected();
    form->accept();
  });
  QVERIFY(TfrmConnectionList::EditDownloadListConnections(nullptr, cue, unlimited));
  QVERIFY(unlimited);
  QCOMPARE(fDir->Read(u"_Usenet/_DownloadLists/Holiday.srv"_s), QByteArray("Alpha\n"));
  QCOMPARE(fDir->Read(QLatin1String(TConnectionList::kDefaultFileName)), QByteArray("Alpha\n"));

  // An empty selection deletes the list's file; the default list stays.
  OnModalEditor([](TfrmConnectionList* form) {
    QCOMPARE(form->SelectedNames(), QStringList{u"Alpha"_s});
    QVERIFY(form->Unlimited());
    form->RemoveAll();
    form->accept();
  });
  QVERIFY(TfrmConnectionList::EditDownloadListConnections(nullptr, cue, unlimited));
  QVERIFY(!QFileInfo::exists(srv));
  QVERIFY(QFileInfo::exists(defaultList));

  // Reverting asks, then deletes the list's file.
  fDir->Write(u"_Usenet/_DownloadLists/Holiday.srv"_s, "Beta\n");
  fPrompt->confirmAnswer = false;
  QVERIFY(!TfrmConnectionList::RevertToDefaultConnections(cue));
  QVERIFY(QFileInfo::exists(srv));
  fPrompt->confirmAnswer = true;
  QVERIFY(TfrmConnectionList::RevertToDefaultConnections(cue));
  QVERIFY(!QFileInfo::exists(srv));
  QCOMPARE(fPrompt->Log().last(),
           u"confirm: This will delete the list of connections for this download list and "
           u"revert to the default list. Continue?"_s);
}

KORVEL_QTEST_MAIN(TConnectionListFormTest)
#include "ConnectionListFormTest.moc"
