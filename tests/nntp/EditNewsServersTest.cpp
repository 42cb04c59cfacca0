// "Edit NNTP Servers" driven as a user would: adding, the validations in
// their order, renames and their directories, moves and deletes against the
// file on disk, the default server, the security mode and the connection
// test with a certificate the user accepts.
#include "shell/ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "nntp/NewsServerList.h"
#include "nntp/ui/CertificateDialog.h"
#include "nntp/ui/EditNewsServersForm.h"
#include "servers/FakeNntpServer.h"
#include "shell/ShellMessage.h"
#include "shell/TabForm.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSslCertificate>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TEditNewsServersTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void firstServerCreatesFileAndBecomesDefault();
  void unreadableFileIsNeverWrittenOver();
  void newServerRefusals_data();
  void newServerRefusals();
  void saveValidations_data();
  void saveValidations();
  void saveWritesOnlyThatRecord();
  void renames_data();
  void renames();
  void renameAgainstExistingDirectories();
  void failedWriteRenamesDirectoryBack();
  void editingLocksTheListUntilSaveOrCancel();
  void moveThenDeleteKeepsOrder();
  void failedRewriteKeepsFileAndListAlike();
  void deleteNeverLeavesTheServersDirectory();
  void doubleClickMakesDefault();
  void tlsProposesItsPort();
  void connectionTestAcceptsCertificate();
  void certificateDialogShowsItAndDefaultsToCancel();
  void commandReloadsAndTabsHear();

 private:
  // Writes records named names (each with maxConnections 2) and loads the list.
  void WriteServers(const QStringList& names);
  QList<TNewsServerEntry> FileEntries() const;
  QStringList FileNames() const;
  QByteArray FileBytes() const;
  std::unique_ptr<TfrmEditNewsServers> Open();
  template <typename T>
  T* Child(const char* name) const {
    T* w = fForm->findChild<T*>(QLatin1String(name));
    if (!w) qFatal("no child %s", name);
    return w;
  }
  void Type(const char* field, const QString& text);
  void Select(int row);
  QString ServerDir(const QString& name) const { return Paths().serversDir + name; }
  QStringList ServerDirs() const {
    QStringList dirs = QDir(Paths().serversDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    dirs.sort(Qt::CaseInsensitive);
    return dirs;
  }

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
  std::unique_ptr<TfrmEditNewsServers> fForm;
  QString fNextName;
  bool fNameAnswered = true;
};

void TEditNewsServersTest::init() {
  fDir = std::make_unique<TTempDir>();
  fPrompt = std::make_unique<TFakePrompt>();
  Settings() = TSettings();
  SetPaths(fDir->Path());
  CreateDirectories();
  TNewsServerList::Instance().Clear();
  fNameAnswered = true;
  TfrmEditNewsServers::SetNamePrompt([this](QWidget*, QString& name) {
    name = fNextName;
    return fNameAnswered;
  });
  TfrmEditNewsServers::SetCertificatePrompt({});
  TfrmEditNewsServers::SetTestTimeout(5s);
}

void TEditNewsServersTest::cleanup() {
  fForm.reset();
  TfrmEditNewsServers::SetNamePrompt({});
  TfrmEditNewsServers::SetCertificatePrompt({});
  fPrompt.reset();
  fDir.reset();
}

void TEditNewsServersTest::WriteServers(const QStringList& names) {
  QList<TNewsServerEntry> entries;
  for (const QString& n : names) {
    TNewsServerEntry e = TNewsServerEntry::Init();
    e.name = n.toUtf8();
    e.host = "news." + n.toUtf8() + ".example";
    e.maxConnections = 2;
    entries << e;
  }
  QVERIFY(TNewsServerList::Instance().SaveAll(Paths().userDataDir, entries));
  QVERIFY(TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir));
}

QList<TNewsServerEntry> TEditNewsServersTest::FileEntries() const { return TNewsServerList::Parse(FileBytes()); }

QStringList TEditNewsServersTest::FileNames() const {
  QStringList names;
  for (const TNewsServerEntry& e : FileEntries()) names << e.Name();
  return names;
}

QByteArray TEditNewsServersTest::FileBytes() const {
  QFile file(TNewsServerList::FilePath(Paths().userDataDir));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<TfrmEditNewsServers> TEditNewsServersTest::Open() {
  auto form = std::make_unique<TfrmEditNewsServers>();
  form->show();
  return form;
}

void TEditNewsServersTest::Type(const char* field, const QString& text) {
  auto* edit = Child<QLineEdit>(field);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

void TEditNewsServersTest::Select(int row) { Child<QListWidget>("lstServers")->setCurrentRow(row); }

// ------------------------------------------------------------------ new

void TEditNewsServersTest::firstServerCreatesFileAndBecomesDefault() {
  fForm = Open();
  QVERIFY(!QFileInfo::exists(TNewsServerList::FilePath(Paths().userDataDir)));
  fNextName = u"Alpha"_s;
  Child<QPushButton>("btnNew")->click();
  QCOMPARE(FileBytes().size(), TNewsServerEntry::kRecordSize);
  QCOMPARE(FileNames(), QStringList{u"Alpha"_s});
  QCOMPARE(QFile::permissions(TNewsServerList::FilePath(Paths().userDataDir)) & 0x0077, QFileDevice::Permissions{});
  QCOMPARE(Settings().DefaultNewsServer, u"Alpha"_s);
  QCOMPARE(TIniFile(Paths().userDataDir + QLatin1String(kSettingsFileName))
               .ReadString(u"Setup"_s, u"DefaultNewsServer"_s, {}),
           u"Alpha"_s);
  QVERIFY(QFileInfo(ServerDir(u"Alpha"_s) + u"/_Favorites"_s).isDir());
  const TNewsServerEntry created = FileEntries().first();
  QCOMPARE(created.port, 119);
  QCOMPARE(created.maxConnections, std::int16_t(1));
  QVERIFY(created.lastCheckDate > 40000);  // the moment of creation, not 0
  QCOMPARE(fForm->CurrentRow(), 0);
  QCOMPARE(fForm->focusWidget(), Child<QLineEdit>("edtHost"));

  // A second server keeps the default and goes to the end.
  fNextName = u"Beta"_s;
  Child<QPushButton>("btnNew")->click();
  QCOMPARE(FileNames(), (QStringList{u"Alpha"_s, u"Beta"_s}));
  QCOMPARE(Settings().DefaultNewsServer, u"Alpha"_s);
  QCOMPARE(fForm->CurrentRow(), 1);
  QVERIFY(fPrompt->calls.isEmpty());
}

void TEditNewsServersTest::unreadableFileIsNeverWrittenOver() {
  // Something at the file's place that cannot be read as it: adding a server
  // must not replace it with a list holding only the new one.
  const QString path = TNewsServerList::FilePath(Paths().userDataDir);
  QVERIFY(QDir().mkpath(path));
  {
    QFile keep(path + u"/keep.txt"_s);
    QVERIFY(keep.open(QIODevice::WriteOnly));
  }
  fForm = Open();
  QVERIFY(!fForm->CanEdit());
  QVERIFY(!Child<QPushButton>("btnNew")->isEnabled());
  fNextName = u"Alpha"_s;
  fForm->NewServer();
  QCOMPARE(fPrompt->Log(), QStringList{u"error: Error while trying to save this new server. Nothing saved."_s});
  QVERIFY(QFileInfo(path).isDir());
  QVERIFY(QFileInfo::exists(path + u"/keep.txt"_s));
  QVERIFY(!QFileInfo::exists(path + u'1') && !QFileInfo::exists(path + u'2'));
  QVERIFY(fForm->Entries().isEmpty());
  fForm.reset();

  // The menu command says so instead of opening an editor that cannot save.
  fPrompt->calls.clear();
  bool opened = false;
  QTimer::singleShot(0, this, [&opened] {
    if (auto* form = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      opened = true;
      form->reject();
    }
  });
  QVERIFY(!TfrmEditNewsServers::EditNewsServers(nullptr));
  QVERIFY(!opened);
  QCOMPARE(fPrompt->Log(), QStringList{u"error: "_s + TfrmEditNewsServers::UnreadableFileMessage()});
}

void TEditNewsServersTest::newServerRefusals_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("answered");
  QTest::addColumn<QString>("message");
  const QString invalid = TfrmEditNewsServers::InvalidNameMessage();
  QTest::newRow("cancelled") << u"Gamma"_s << false << QString();
  QTest::newRow("empty") << QString() << true << QString();
  QTest::newRow("blank") << u"   "_s << true << QString();
  QTest::newRow("129 characters") << QString(129, u'x') << true
                                  << u"The name of the server cannot exceed 128 characters."_s;
  QTest::newRow("too many bytes") << QString(100, QChar(0x4e2d)) << true
                                  << u"The name of the server cannot exceed 128 characters."_s;
  QTest::newRow("slash") << u"a/b"_s << true << invalid;
  QTest::newRow("backslash") << u"a\\b"_s << true << invalid;
  QTest::newRow("dot") << u"."_s << true << invalid;
  QTest::newRow("dot dot") << u".."_s << true << invalid;
  QTest::newRow("control") << u"a\tb"_s << true << invalid;
  QTest::newRow("same name, other case") << u"ALPHA"_s << true << u"A server with that name already exists."_s;
}

void TEditNewsServersTest::newServerRefusals() {
  QFETCH(QString, name);
  QFETCH(bool, answered);
  QFETCH(QString, message);
  WriteServers({u"Alpha"_s});
  const QByteArray before = FileBytes();
  fForm = Open();
  fNextName = name;
  fNameAnswered = answered;
  fForm->NewServer();
  QCOMPARE(fPrompt->Log(), message.isEmpty() ? QStringList() : QStringList{u"warning: "_s + message});
  QCOMPARE(FileBytes(), before);
  QCOMPARE(fForm->Entries().size(), 1);
  QCOMPARE(ServerDirs(), QStringList{u"Alpha"_s});
}

// ------------------------------------------------------------------ save

void TEditNewsServersTest::saveValidations_data() {
  QTest::addColumn<QStringList>("edits");  // "field=text"
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("focus");
  const QString port = u"You must enter the port number for this server."_s;
  const QString max = u"You must enter a number of connections for this server."_s;
  const QString count =
      u"You must enter the default number of connection(s) for retrieving article counts in the newsgroups tab."_s;
  const QString headers = u"You must enter the default number of connection(s) for downloading headers."_s;
  QTest::newRow("no name") << QStringList{u"edtName="_s} << u"This entry must have a name."_s << u"edtName"_s;
  QTest::newRow("name before host") << QStringList{u"edtHost="_s, u"edtName="_s} << u"This entry must have a name."_s
                                    << u"edtName"_s;
  QTest::newRow("other server's name") << QStringList{u"edtName=bEtA"_s} << u"A server with that name already exists."_s
                                       << u"edtName"_s;
  QTest::newRow("name with slash") << QStringList{u"edtName=a/b"_s} << TfrmEditNewsServers::InvalidNameMessage()
                                   << u"edtName"_s;
  QTest::newRow("no host") << QStringList{u"edtHost="_s, u"edtPort=x"_s} << u"You must enter the name of the server."_s
                           << u"edtHost"_s;
  QTest::newRow("no port") << QStringList{u"edtPort="_s} << port << u"edtPort"_s;
  QTest::newRow("port text") << QStringList{u"edtPort=nntp"_s, u"edtMaxConnections=0"_s} << port << u"edtPort"_s;
  QTest::newRow("port too big") << QStringList{u"edtPort=70000"_s} << port << u"edtPort"_s;
  QTest::newRow("max zero") << QStringList{u"edtMaxConnections=0"_s} << max << u"edtMaxConnections"_s;
  QTest::newRow("max negative") << QStringList{u"edtMaxConnections=-2"_s} << max << u"edtMaxConnections"_s;
  QTest::newRow("count zero") << QStringList{u"edtCountConnections=0"_s, u"edtHeaderConnections=0"_s} << count
                              << u"edtCountConnections"_s;
  QTest::newRow("count over 100") << QStringList{u"edtMaxConnections=200"_s, u"edtCountConnections=101"_s} << count
                                  << u"edtCountConnections"_s;
  QTest::newRow("count over max")
      << QStringList{u"edtCountConnections=3"_s}
      << u"You specified more connections for retrieving article counts than the maximum number of connections for "
         u"this server."_s
      << u"edtCountConnections"_s;
  QTest::newRow("headers text") << QStringList{u"edtHeaderConnections=two"_s} << headers << u"edtHeaderConnections"_s;
  QTest::newRow("headers over max")
      << QStringList{u"edtHeaderConnections=3"_s}
      << u"You specified more connections for downloading headers than the maximum number of connections for this "
         u"server."_s
      << u"edtHeaderConnections"_s;
}

void TEditNewsServersTest::saveValidations() {
  QFETCH(QStringList, edits);
  QFETCH(QString, message);
  QFETCH(QString, focus);
  WriteServers({u"Alpha"_s, u"Beta"_s});
  const QByteArray before = FileBytes();
  fForm = Open();
  for (const QString& edit : edits) {
    const qsizetype eq = edit.indexOf(u'=');
    Type(edit.left(eq).toLatin1().constData(), edit.mid(eq + 1));
  }
  QVERIFY(!fForm->SaveEntry());
  QCOMPARE(fPrompt->Log(), QStringList{u"warning: "_s + message});
  QCOMPARE(fForm->focusWidget()->objectName(), focus);
  QCOMPARE(FileBytes(), before);
  QVERIFY(fForm->IsModified());
  QCOMPARE(ServerDirs(), (QStringList{u"Alpha"_s, u"Beta"_s}));
}

void TEditNewsServersTest::saveWritesOnlyThatRecord() {
  WriteServers({u"Alpha"_s, u"Beta"_s});
  const QByteArray before = FileBytes();
  fForm = Open();
  Select(1);
  Type("edtPort", u"8119"_s);
  Type("edtUserName", u"reader"_s);
  Type("edtPassword", u"s3cret"_s);
  Child<QCheckBox>("chkDownloadLimit")->click();
  Type("edtMaxConnections", u"8"_s);
  Type("edtCountConnections", u"3"_s);
  Type("edtHeaderConnections", u"6"_s);
  auto* security = Child<QComboBox>("cmbSecurity");
  security->setCurrentIndex(SECURITY_STARTTLS);
  emit security->activated(SECURITY_STARTTLS);
  Type("edtHost", u"news.beta.example"_s);
  // Enter in a field saves.
  QTest::keyClick(Child<QLineEdit>("edtHost"), Qt::Key_Return);
  QVERIFY(!fForm->IsModified());
  QVERIFY(fPrompt->calls.isEmpty());

  const QByteArray after = FileBytes();
  QCOMPARE(after.size(), 2 * TNewsServerEntry::kRecordSize);
  QCOMPARE(after.left(TNewsServerEntry::kRecordSize), before.left(TNewsServerEntry::kRecordSize));
  const TNewsServerEntry beta = FileEntries().at(1);
  QCOMPARE(beta.name, QByteArray("Beta"));
  QCOMPARE(beta.host, QByteArray("news.beta.example"));
  QCOMPARE(beta.port, 8119);
  QCOMPARE(beta.userName, QByteArray("reader"));
  QCOMPARE(beta.password, QByteArray("s3cret"));
  QVERIFY(beta.downloadLimit);
  QCOMPARE(beta.maxConnections, std::int16_t(8));
  QCOMPARE(beta.countConnections, std::uint16_t(3));
  QCOMPARE(beta.headerConnections, std::uint16_t(6));
  QCOMPARE(beta.Security(), SECURITY_STARTTLS);
  QCOMPARE(quint8(after.at(TNewsServerEntry::kRecordSize + TNewsServerEntry::kReservedOffset)), quint8(2));
}

void TEditNewsServersTest::renames_data() {
  QTest::addColumn<QString>("newName");
  QTest::addColumn<QStringList>("dirsAfter");
  QTest::newRow("case only") << u"alpha"_s << QStringList{u"alpha"_s, u"Beta"_s};
  QTest::newRow("new name") << u"Gamma"_s << QStringList{u"Beta"_s, u"Gamma"_s};
}

void TEditNewsServersTest::renames() {
  QFETCH(QString, newName);
  QFETCH(QStringList, dirsAfter);
  WriteServers({u"Alpha"_s, u"Beta"_s});
  fDir->Write(u"_Usenet/_Servers/Alpha/groups.gnam"_s, "kept");
  Settings().DefaultNewsServer = u"Alpha"_s;
  fForm = Open();
  Type("edtName", newName);
  QVERIFY(fForm->SaveEntry());
  QVERIFY(fPrompt->calls.isEmpty());
  QCOMPARE(FileNames(), (QStringList{newName, u"Beta"_s}));
  QCOMPARE(ServerDirs(), dirsAfter);
  QVERIFY(QFileInfo::exists(TNewsServerList::ServerDirectory(Paths().serversDir, newName) + u"groups.gnam"_s));
  QCOMPARE(Child<QListWidget>("lstServers")->item(0)->text(), newName);
  QCOMPARE(Settings().DefaultNewsServer, newName);
}

void TEditNewsServersTest::renameAgainstExistingDirectories() {
  WriteServers({u"Alpha"_s});
  const QByteArray before = FileBytes();
  QDir().mkpath(ServerDir(u"gamma"_s));

  // The old directory is there but the new one too: ask, and No keeps everything.
  fForm = Open();
  fPrompt->confirmAnswer = false;
  Type("edtName", u"Gamma"_s);
  QVERIFY(!fForm->SaveEntry());
  QCOMPARE(fPrompt->Log(), QStringList{u"confirm: The directory containing this news server could not be renamed to "
                                       u"\"Gamma\". Do you want to save the changes anyway?"_s});
  QCOMPARE(FileBytes(), before);
  // Yes saves the record; the directories stay as they were.
  fPrompt->confirmAnswer = true;
  QVERIFY(fForm->SaveEntry());
  QCOMPARE(FileNames(), QStringList{u"Gamma"_s});
  QCOMPARE(ServerDirs(), (QStringList{u"Alpha"_s, u"gamma"_s}));

  // Without its own directory a server cannot take over another one.
  fPrompt->calls.clear();
  QVERIFY(QDir(ServerDir(u"gamma"_s)).removeRecursively());
  QDir().mkpath(ServerDir(u"Delta"_s));
  Type("edtName", u"delta"_s);
  QVERIFY(!fForm->SaveEntry());
  QCOMPARE(fPrompt->Log(), QStringList{u"warning: A server with that name, or a directory with this name already "
                                       u"exists. Please change the name and try again."_s});
  QCOMPARE(FileNames(), QStringList{u"Gamma"_s});
}

void TEditNewsServersTest::failedWriteRenamesDirectoryBack() {
  WriteServers({u"Alpha"_s, u"Beta"_s});
  const QByteArray before = FileBytes();
  fDir->Write(u"_Usenet/_Servers/Alpha/groups.gnam"_s, "kept");
  // The temporary file of the rewrite cannot be created.
  QVERIFY(QDir().mkpath(TNewsServerList::FilePath(Paths().userDataDir) + u'1'));
  fForm = Open();
  Type("edtName", u"Gamma"_s);
  QVERIFY(!fForm->SaveEntry());
  QCOMPARE(fPrompt->Log(), QStringList{u"error: Error saving this entry."_s});
  QCOMPARE(FileBytes(), before);
  QCOMPARE(ServerDirs(), (QStringList{u"Alpha"_s, u"Beta"_s}));
  QVERIFY(QFileInfo::exists(ServerDir(u"Alpha"_s) + u"/groups.gnam"_s));
  // The entry is loaded again.
  QCOMPARE(Child<QLineEdit>("edtName")->text(), u"Alpha"_s);
  QVERIFY(!fForm->IsModified());

  // With the file gone, nothing is written and the directory stays.
  QVERIFY(QDir(TNewsServerList::FilePath(Paths().userDataDir) + u'1').removeRecursively());
  QVERIFY(QFile::remove(TNewsServerList::FilePath(Paths().userDataDir)));
  fPrompt->calls.clear();
  Type("edtName", u"Gamma"_s);
  QVERIFY(!fForm->SaveEntry());
  QCOMPARE(fPrompt->Log(), QStringList{u"error: Server file is missing."_s});
  QCOMPARE(ServerDirs(), (QStringList{u"Alpha"_s, u"Beta"_s}));
}

void TEditNewsServersTest::editingLocksTheListUntilSaveOrCancel() {
  WriteServers({u"Alpha"_s, u"Beta"_s});
  fForm = Open();
  auto* list = Child<QListWidget>("lstServers");
  QVERIFY(list->isEnabled());
  QVERIFY(!Child<QPushButton>("btnSave")->isEnabled());
  Type("edtHost", u"elsewhere.example"_s);
  QVERIFY(!list->isEnabled());
  QVERIFY(!Child<QPushButton>("btnNew")->isEnabled());
  QVERIFY(!Child<QPushButton>("btnDelete")->isEnabled());
  QVERIFY(Child<QPushButton>("btnSave")->isEnabled());

  // Closing is refused, by the button, Escape or the window.
  Child<QPushButton>("btnClose")->click();
  QTest::keyClick(fForm.get(), Qt::Key_Escape);
  QVERIFY(!fForm->close());
  QVERIFY(fForm->isVisible());
  const QString refused = u"warning: Please save or cancel your changes before closing the window."_s;
  QCOMPARE(fPrompt->Log(), (QStringList{refused, refused, refused}));

  Child<QPushButton>("btnCancel")->click();
  QCOMPARE(Child<QLineEdit>("edtHost")->text(), u"news.Alpha.example"_s);
  QVERIFY(list->isEnabled());
  QTest::keyClick(fForm.get(), Qt::Key_Escape);
  QVERIFY(!fForm->isVisible());
  QCOMPARE(fPrompt->calls.size(), 3);
}

// ------------------------------------------------------------------ order and delete

void TEditNewsServersTest::moveThenDeleteKeepsOrder() {
  WriteServers({u"A"_s, u"B"_s, u"C"_s});
  for (const QString& n : {u"A"_s, u"B"_s, u"C"_s}) fDir->Write(u"_Usenet/_Servers/"_s + n + u"/x/file.txt"_s, "x");
  Settings().DefaultNewsServer = u"C"_s;
  fForm = Open();
  auto* up = Child<QPushButton>("btnMoveUp");
  auto* down = Child<QPushButton>("btnMoveDown");
  QVERIFY(!up->isEnabled() && down->isEnabled());

  down->click();
  QCOMPARE(FileNames(), (QStringList{u"B"_s, u"A"_s, u"C"_s}));
  QCOMPARE(fForm->CurrentRow(), 1);
  Select(2);
  QVERIFY(up->isEnabled() && !down->isEnabled());

  // Deleting asks first; No changes nothing.
  fPrompt->confirmAnswer = false;
  Child<QPushButton>("btnDelete")->click();
  QCOMPARE(FileNames(), (QStringList{u"B"_s, u"A"_s, u"C"_s}));
  fPrompt->confirmAnswer = true;
  Child<QPushButton>("btnDelete")->click();
  QCOMPARE(FileNames(), (QStringList{u"B"_s, u"A"_s}));
  QCOMPARE(fPrompt->Log().last(),
           u"confirm: Deleting this entry will delete all files of this News servers, including attachments. "
           u"Proceed?"_s);
  QCOMPARE(ServerDirs(), (QStringList{u"A"_s, u"B"_s}));
  QVERIFY(QFileInfo::exists(ServerDir(u"A"_s) + u"/x/file.txt"_s));
  QCOMPARE(fForm->CurrentRow(), 1);
  QCOMPARE(Child<QListWidget>("lstServers")->count(), 2);
  // The deleted server was the default: the first one takes over.
  QCOMPARE(Settings().DefaultNewsServer, u"B"_s);
  // The process-wide list follows every rewrite.
  QCOMPARE(TNewsServerList::Instance().Count(), 2);
  QCOMPARE(TNewsServerList::Instance().Entries().at(0).Name(), u"B"_s);
}

void TEditNewsServersTest::failedRewriteKeepsFileAndListAlike() {
  // Moves and deletes go through the same temporary file as additions; when
  // it cannot be written, the file and the list shown both stay as they were.
  WriteServers({u"A"_s, u"B"_s, u"C"_s});
  const QByteArray before = FileBytes();
  QVERIFY(QDir().mkpath(TNewsServerList::FilePath(Paths().userDataDir) + u'1'));
  fForm = Open();
  const auto shown = [this] {
    QStringList names;
    auto* list = Child<QListWidget>("lstServers");
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
  };
  const QStringList order{u"A"_s, u"B"_s, u"C"_s};

  Child<QPushButton>("btnMoveDown")->click();
  Select(2);
  Child<QPushButton>("btnMoveUp")->click();
  QCOMPARE(FileBytes(), before);
  QCOMPARE(shown(), order);
  QCOMPARE(fForm->CurrentRow(), 2);

  Select(1);
  Child<QPushButton>("btnDelete")->click();
  QCOMPARE(fPrompt->Log().last(), u"error: Error deleting this entry."_s);
  QCOMPARE(FileBytes(), before);
  QCOMPARE(shown(), order);
  QCOMPARE(fForm->Entries().size(), 3);
  QCOMPARE(TNewsServerList::Instance().Count(), 3);
}

void TEditNewsServersTest::deleteNeverLeavesTheServersDirectory() {
  // Records another program left with names that cannot be directories, and
  // a server whose directory is a link to somewhere else.
  QList<TNewsServerEntry> entries;
  for (const char* n : {"..", ".", "Link", "ok"}) {
    TNewsServerEntry e = TNewsServerEntry::Init();
    e.name = n;
    entries << e;
  }
  QVERIFY(TNewsServerList::Instance().SaveAll(Paths().userDataDir, entries));
  const QString outside = fDir->Write(u"outside/precious.txt"_s, "keep me");
  QVERIFY(QFile::link(QFileInfo(outside).path(), ServerDir(u"Link"_s)));
  QDir().mkpath(ServerDir(u"ok"_s));
  fDir->Write(u"_Usenet/keep.txt"_s, "keep");

  fForm = Open();
  QCOMPARE(fForm->Entries().size(), 4);      // shown, so they can be removed
  Child<QPushButton>("btnDelete")->click();  // ".."
  Child<QPushButton>("btnDelete")->click();  // "."
  Child<QPushButton>("btnDelete")->click();  // "Link"
  QCOMPARE(FileNames(), QStringList{u"ok"_s});
  QVERIFY(QFileInfo::exists(Paths().usenetDir + u"keep.txt"_s));
  QVERIFY(QFileInfo(ServerDir(u"ok"_s)).isDir());
  QVERIFY(QFileInfo::exists(outside));
  QVERIFY(!QFileInfo(ServerDir(u"Link"_s)).isSymLink());
}

void TEditNewsServersTest::doubleClickMakesDefault() {
  WriteServers({u"Alpha"_s, u"Beta"_s});
  Settings().DefaultNewsServer = u"Alpha"_s;
  fForm = Open();
  auto* list = Child<QListWidget>("lstServers");
  QVERIFY(list->item(0)->font().bold() && !list->item(1)->font().bold());
  const QPoint at = list->visualItemRect(list->item(1)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  QCOMPARE(Settings().DefaultNewsServer, u"Beta"_s);
  QVERIFY(!list->item(0)->font().bold() && list->item(1)->font().bold());
  QCOMPARE(TIniFile(Paths().userDataDir + QLatin1String(kSettingsFileName))
               .ReadString(u"Setup"_s, u"DefaultNewsServer"_s, {}),
           u"Beta"_s);
}

// ------------------------------------------------------------------ security and test

void TEditNewsServersTest::tlsProposesItsPort() {
  WriteServers({u"Alpha"_s});
  fForm = Open();
  auto* security = Child<QComboBox>("cmbSecurity");
  auto* port = Child<QLineEdit>("edtPort");
  const auto choose = [security](int index) {
    security->setCurrentIndex(index);
    emit security->activated(index);
  };
  choose(SECURITY_TLS);
  QCOMPARE(port->text(), u"563"_s);
  QVERIFY(fForm->IsModified());
  choose(SECURITY_PLAIN);
  QCOMPARE(port->text(), u"119"_s);
  // A port of the user's own choosing stays.
  Type("edtPort", u"4119"_s);
  choose(SECURITY_TLS);
  QCOMPARE(port->text(), u"4119"_s);
  QVERIFY(fForm->SaveEntry());
  QCOMPARE(FileEntries().first().Security(), SECURITY_TLS);
  QCOMPARE(FileEntries().first().port, 4119);
}

void TEditNewsServersTest::connectionTestAcceptsCertificate() {
  TFakeNntpServer server;
  server.On("GROUP").Line("411 no such group");
  QVERIFY(server.Start(TFakeNntpServer::IMPLICIT_TLS));
  WriteServers({u"Alpha"_s});
  fForm = Open();
  Type("edtHost", u""_s);
  Child<QPushButton>("btnTest")->click();
  QCOMPARE(fPrompt->Log(), QStringList{u"warning: You must enter the server address."_s});
  Type("edtHost", u"127.0.0.1"_s);
  Type("edtPort", u""_s);
  Child<QPushButton>("btnTest")->click();
  QCOMPARE(fPrompt->Log().last(), u"warning: You must enter the server port."_s);
  auto* security = Child<QComboBox>("cmbSecurity");
  security->setCurrentIndex(SECURITY_TLS);
  emit security->activated(SECURITY_TLS);
  Type("edtPort", QString::number(server.Port()));
  QVERIFY(fForm->SaveEntry());
  fPrompt->calls.clear();

  // Declined: nothing stored, nothing more said.
  QStringList asked;
  bool accept = false;
  TfrmEditNewsServers::SetCertificatePrompt([&](QWidget*, const QString& name, const TServerTestReport& report) {
    asked << name + u' ' + QString::fromLatin1(report.fingerprint.toHex());
    return accept;
  });
  Child<QPushButton>("btnTest")->click();
  QCOMPARE(asked.size(), 1);
  QVERIFY(fPrompt->calls.isEmpty());
  const QString trustFile = ServerDir(u"Alpha"_s) + u'/' + QLatin1String(TNewsServerList::kTrustedCertificateFile);
  QVERIFY(!QFileInfo::exists(trustFile));

  // Accepted: kept for this server, and the test runs again over it.
  accept = true;
  Child<QPushButton>("btnTest")->click();
  QFile crt(TestDataPath(u"nntp/server.crt"_s));
  QVERIFY(crt.open(QIODevice::ReadOnly));
  const QByteArray fingerprint = QSslCertificate(&crt, QSsl::Pem).digest(QCryptographicHash::Sha256).toHex();
  QCOMPARE(asked.last(), u"Alpha "_s + QString::fromLatin1(fingerprint));
  QCOMPARE(TNewsServerList::ReadTrustedFingerprint(ServerDir(u"Alpha"_s) + u'/'), fingerprint);
  QCOMPARE(fPrompt->Log(), QStringList{u"information: Connection established successfully!"_s});
  QVERIFY(!Child<QLabel>("lblCertificate")->text().isEmpty());

  // From now on the record's connections trust it without asking.
  Child<QPushButton>("btnTest")->click();
  QCOMPARE(asked.size(), 2);
  QCOMPARE(fPrompt->calls.size(), 2);
  QVERIFY(fForm->isEnabled());
}

void TEditNewsServersTest::certificateDialogShowsItAndDefaultsToCancel() {
  QFile crt(TestDataPath(u"nntp/server.crt"_s));
  QVERIFY(crt.open(QIODevice::ReadOnly));
  const QSslCertificate certificate(&crt, QSsl::Pem);
  const QByteArray fingerprint = certificate.digest(QCryptographicHash::Sha256);
  TfrmCertificate dialog(u"Alpha"_s, certificate, fingerprint, u"The certificate is self-signed, and untrusted"_s);
  const QString details = dialog.findChild<QPlainTextEdit*>(u"txtDetails"_s)->toPlainText();
  const QString commonName = certificate.subjectInfo(QSslCertificate::CommonName).value(0);
  QVERIFY(!commonName.isEmpty());
  QVERIFY(details.contains(u"Subject: CN="_s + commonName));
  QVERIFY(details.contains(u"Issuer: "_s));
  QVERIFY(details.contains(u"Valid from: "_s + certificate.effectiveDate().toLocalTime().toString(u"yyyy-MM-dd"_s)));
  QVERIFY(details.contains(u"Valid until: "_s + certificate.expiryDate().toLocalTime().toString(u"yyyy-MM-dd"_s)));
  QVERIFY(details.contains(u"SHA-256: "_s + QString::fromLatin1(fingerprint.toHex(':').toUpper())));
  QVERIFY(dialog.findChild<QLabel*>(u"lblIntro"_s)->text().contains(u"self-signed"_s));
  // Enter must never accept a certificate by accident.
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Return);
  QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

// ------------------------------------------------------------------ command

void TEditNewsServersTest::commandReloadsAndTabsHear() {
  WriteServers({u"Alpha"_s});
  fNextName = u"Beta"_s;
  QTimer::singleShot(0, this, [] {
    auto* form = qobject_cast<TfrmEditNewsServers*>(QApplication::activeModalWidget());
    QVERIFY(form);
    form->NewServer();
    form->reject();
  });
  QVERIFY(TfrmEditNewsServers::EditNewsServers(nullptr));
  QCOMPARE(TNewsServerList::Instance().Count(), 2);
  QVERIFY(QFileInfo(ServerDir(u"Beta"_s) + u"/_Favorites"_s).isDir());

  // Editors opened from a dialog of the main window still reach its tabs.
  TfrmTabForm window;
  auto* page = new TTestPage(u"page"_s);
  QCOMPARE(window.EncloseFormIntoTab(page, TAB_KIND_MESSAGE_BROWSER, u"page"_s), RC_SUCCESS);
  QDialog owner(&window);
  QWidget child(&owner);
  TfrmEditNewsServers::NotifyServerListChanged(&child);
  QCOMPARE(page->received.count(shellmsg::TM_NEWS_SERVERS_CHANGED), 1);
}

KORVEL_QTEST_MAIN(TEditNewsServersTest)
#include "EditNewsServersTest.moc"
