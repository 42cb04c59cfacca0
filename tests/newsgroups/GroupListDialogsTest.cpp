// The retrieval dialogs on the offscreen platform, against the scripted server.
#include "app/AppPaths.h"
#include "app/DayCount.h"
#include "app/UserPrompt.h"
#include "newsgroups/GroupList.h"
#include "newsgroups/GroupListWriter.h"
#include "newsgroups/ui/GetGroupsCountForm.h"
#include "newsgroups/ui/GetGroupsWizardForm.h"
#include "newsgroups/ui/GetNewGroupsForm.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"
#include "nntp/NewsServerList.h"
#include "servers/FakeNntpServer.h"
#include "shell/ShellMessage.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

TNewsServerEntry Server(const QByteArray& name, quint16 port) {
  TNewsServerEntry server = TNewsServerEntry::Init();
  server.name = name;
  server.host = "127.0.0.1";
  server.port = port;
  return server;
}

QList<QByteArray> Names(const QString& path) {
  TGroupList list;
  QList<QByteArray> out;
  if (list.Load(path))
    for (qsizetype i = 0; i < list.Count(); ++i) out.append(list.Name(i).toByteArray());
  return out;
}

void WriteList(const QString& base, const QList<QByteArray>& names) {
  TGroupListWriter w;
  QVERIFY(w.Open(base));
  for (const QByteArray& n : names) w.Append(n, 1, 1);
  QVERIFY(w.Finish());
}

// Answers every question yes and keeps the texts shown.
class TRecordingPrompt : public TUserPrompt::THandler {
 public:
  QStringList texts;
  void Information(const QString& text, const QString&) override { texts << text; }
  void Warning(const QString& text, const QString&) override { texts << text; }
  void Error(const QString& text, const QString&) override { texts << text; }
  bool Confirm(const QString& text, const QString&) override {
    texts << text;
    return true;
  }
  TUserPrompt::TAnswer Question(const QString& text, const QString&) override {
    texts << text;
    return TUserPrompt::ANSWER_YES;
  }
};

}  // namespace

class TGroupListDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void wizardRetrievesTheChosenServersList();
  void wizardAbortShowsTheErrorResult();
  void countDialogWithMoreConnectionsThanItems();
  void newGroupsCheckMergesSortsAndMovesTheCheckDate();
  void newGroupsAbortLeavesNothing();
  void browserShowsCountsAndKeepsThemInTheList();
};

void TGroupListDialogsTest::wizardRetrievesTheChosenServersList() {
  TTempDir dir;
  TFakeNntpServer server;
  server.On("LIST").MultiLine("215 list", {"alt.a 3 1 y", "alt.b 0 0 y", "alt.c 10 5 y"});
  QVERIFY(server.Start());
  TfrmGetGroupsWizard wizard({Server("Other", 1), Server("Local", server.Port())}, dir.Path());
  wizard.show();
  auto* next = wizard.findChild<QPushButton*>(u"btnNext"_s);
  QVERIFY(!next->isEnabled());  // no server chosen yet
  wizard.SelectServer(u"local"_s);
  QVERIFY(next->isEnabled());
  next->click();
  QCOMPARE(wizard.Page(), TfrmGetGroupsWizard::PAGE_RETRIEVE);
  QVERIFY(wizard.findChild<QPushButton*>(u"btnAbort"_s)->isEnabled());
  QVERIFY(!wizard.findChild<QPushButton*>(u"btnClose"_s)->isEnabled());
  QCOMPARE(wizard.findChild<QLabel*>(u"lblTitle"_s)->text(), u"Downloading newsgroups from \"Local\"."_s);
  QTRY_COMPARE_WITH_TIMEOUT(wizard.Page(), TfrmGetGroupsWizard::PAGE_RESULT, 10000);
  QCOMPARE(wizard.findChild<QLabel*>(u"lblResultTitle"_s)->text(), u"Finished downloading 3 newsgroups!"_s);
  QCOMPARE(wizard.findChild<QLabel*>(u"lblResultText"_s)->text(),
           u"The list of newsgroups has been correctly retrieved and indexed."_s);
  QCOMPARE(Names(dir.File(u"Local/Groups.gnam"_s)), QList<QByteArray>({"alt.a", "alt.b", "alt.c"}));
  wizard.findChild<QPushButton*>(u"btnBack"_s)->click();
  QCOMPARE(wizard.Page(), TfrmGetGroupsWizard::PAGE_SELECT_SERVER);
}

void TGroupListDialogsTest::wizardAbortShowsTheErrorResult() {
  TTempDir dir;
  TFakeNntpServer server;
  server.On("LIST").Line("215 list").Line("alt.a 3 1 y");  // then silence
  QVERIFY(server.Start());
  TfrmGetGroupsWizard wizard({Server("Local", server.Port())}, dir.Path());
  wizard.show();
  wizard.SelectServer(u"Local"_s);
  wizard.Next();
  QVERIFY(server.WaitForCommands(1));
  // Closing the window is refused while the list comes in; Escape aborts.
  wizard.close();
  QVERIFY(wizard.isVisible());
  QTest::keyClick(&wizard, Qt::Key_Escape);
  QTRY_COMPARE_WITH_TIMEOUT(wizard.Page(), TfrmGetGroupsWizard::PAGE_RESULT, 10000);
  QCOMPARE(wizard.findChild<QLabel*>(u"lblResultTitle"_s)->text(), u"Error!"_s);
  QCOMPARE(wizard.Result(), TGroupListDownload::RESULT_ERROR);
  QVERIFY(!QFileInfo::exists(dir.File(u"Local/Groups.gnam"_s)));
  QVERIFY(!QFileInfo::exists(dir.File(u"Local/List.gnam"_s)));
}

void TGroupListDialogsTest::countDialogWithMoreConnectionsThanItems() {
  TFakeNntpServer server;
  server.On("GROUP alt.one").Line("211 42 10 51 alt.one");
  QVERIFY(server.Start());
  QList<TGroupCountResult> results;
  TfrmGetGroupsCount dialog({"alt.one"}, {Server("Local", server.Port())}, 3,
                            [&](const TGroupCountResult& r) { results.append(r); });
  QCOMPARE(dialog.exec(), int(QDialog::Accepted));
  QCOMPARE(results.size(), 1);
  QCOMPARE(results[0].entry, 0);
  QCOMPARE(results[0].group.estimated, qint64(42));
  QCOMPARE(results[0].group.last, qint64(51));
  QCOMPARE(dialog.ConnectionRows(), 3);
  QCOMPARE(dialog.ConnectionStatus(1), u"Unused connection"_s);
  QCOMPARE(dialog.ConnectionStatus(2), u"Unused connection"_s);
  QCOMPARE(dialog.ConnectionServer(2), u"Local"_s);
  QCOMPARE(server.Connections(), 1);
  QCOMPARE(dialog.findChild<QLabel*>(u"lblRemaining"_s)->text(), u"Remaining groups: 0"_s);
}

void TGroupListDialogsTest::newGroupsCheckMergesSortsAndMovesTheCheckDate() {
  TTempDir data;
  SetPaths(data.Path());
  CreateDirectories();
  TFakeNntpServer server;
  server.On("NEWGROUPS").MultiLine("231 new groups", {"mm.new 5 1 y", "aa.old 2 1 y"});
  QVERIFY(server.Start());
  TNewsServerEntry entry = Server("Local", server.Port());
  entry.lastCheckDate = DateTimeToDays(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)));
  QCOMPARE(AppendNewsServerRecord(Paths().userDataDir, QLatin1String(TNewsServerList::kFileName), entry), RC_SUCCESS);
  QVERIFY(TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir));
  const QString serverDir = TNewsServerList::ServerDirectory(Paths().serversDir, u"Local"_s);
  WriteList(serverDir + u"Groups"_s, {"zz.old", "aa.old"});
  TRecordingPrompt prompt;
  TUserPrompt::SetHandler(&prompt);
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  const bool showFolder = TfrmGetNewGroups::CheckNewGroups(nullptr, u"Local"_s);
  TUserPrompt::SetHandler(nullptr);
  QVERIFY(showFolder);
  QVERIFY(server.Commands().contains(
      "NEWGROUPS " + QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)).toUTC().toString(u"yyMMdd HHmmss"_s).toLatin1() +
      " GMT"));
  QCOMPARE(prompt.texts,
           QStringList({u"2 new newsgroup(s) have been added. Would you like to sort the main list of newsgroups?"_s}));
  QCOMPARE(Names(serverDir + u"Groups.gnam"_s), QList<QByteArray>({"aa.old", "mm.new", "zz.old"}));
  QCOMPARE(Names(serverDir + u"_Favorites/New Newsgroups.gnam"_s), QList<QByteArray>({"mm.new", "aa.old"}));
  QVERIFY(!QFileInfo::exists(serverDir + u"newgroups.gnam"_s));
  // The next check starts where this one asked, in memory and in the file.
  TNewsServerEntry after;
  QVERIFY(TNewsServerList::Instance().Get(u"Local"_s, after));
  QVERIFY(DaysToDateTime(after.lastCheckDate) >= before);
  QVERIFY(TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir));
  QVERIFY(TNewsServerList::Instance().Get(u"Local"_s, after));
  QVERIFY(DaysToDateTime(after.lastCheckDate) >= before);
}

void TGroupListDialogsTest::newGroupsAbortLeavesNothing() {
  TTempDir dir;
  TFakeNntpServer server;
  server.On("NEWGROUPS").Line("231 new groups").Line("alt.new 1 1 y");  // then silence
  QVERIFY(server.Start());
  TfrmGetNewGroups dialog(Server("Local", server.Port()), dir.File(u"newgroups.txt"_s), QDateTime());
  QTimer poll;
  connect(&poll, &QTimer::timeout, &dialog, [&] {
    if (server.Commands().isEmpty() || !dialog.findChild<QLabel*>(u"lblCount"_s)->text().startsWith(u'1')) return;
    poll.stop();
    dialog.findChild<QPushButton*>(u"btnAbort"_s)->click();
  });
  poll.start(20);
  QTimer::singleShot(20000, &dialog, &TfrmGetNewGroups::Abort);  // never hang the run
  QCOMPARE(dialog.exec(), int(QDialog::Rejected));
  QVERIFY(!QFileInfo::exists(dir.File(u"newgroups.gnam"_s)));
  QVERIFY(!QFileInfo::exists(dir.File(u"newgroups.gdat"_s)));
}

void TGroupListDialogsTest::browserShowsCountsAndKeepsThemInTheList() {
  TTempDir data;
  SetPaths(data.Path());
  CreateDirectories();
  TFakeNntpServer server;
  server.On("GROUP alt.b").Line("211 7 3 9 alt.b");
  server.On("GROUP alt.c").Line("411 No such group");
  QVERIFY(server.Start());
  QCOMPARE(AppendNewsServerRecord(Paths().userDataDir, QLatin1String(TNewsServerList::kFileName),
                                  Server("Local", server.Port())),
           RC_SUCCESS);
  QVERIFY(TNewsServerList::Instance().Load(Paths().userDataDir, Paths().serversDir));
  const QString serverDir = TNewsServerList::ServerDirectory(Paths().serversDir, u"Local"_s);
  WriteList(serverDir + u"Groups"_s, {"alt.a", "alt.b", "alt.c"});

  TfrmNewsgroupsBrowser browser;
  TShellMessage::Send(&browser, shellmsg::TM_NEWS_SERVERS_CHANGED);
  auto* grid = browser.findChild<QTableView*>(u"grdNewsgroups"_s);
  QAbstractItemModel* model = grid->model();
  QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 3, 10000);
  grid->selectionModel()->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  grid->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  // The count dialog is modal and ends by itself; a stuck one is aborted.
  QTimer::singleShot(20000, [] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  });
  browser.findChild<QPushButton*>(u"btnUpdateCount"_s)->click();
  QList<QByteArray> asked;
  for (const QByteArray& command : server.Commands())
    if (command.startsWith("GROUP")) asked.append(command);
  QCOMPARE(asked, QList<QByteArray>({"GROUP alt.b", "GROUP alt.c"}));

  const auto text = [&](int row, int column) { return model->index(row, column).data().toString(); };
  QCOMPARE(text(0, 1), u"1 "_s);  // not asked
  QCOMPARE(text(1, 1), u"7 "_s);
  QCOMPARE(text(1, 2), u"7 "_s);
  QCOMPARE(text(2, 1), QString());
  QCOMPARE(text(2, 2), u"(group not on server) "_s);
  QCOMPARE(model->index(1, 2).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
  QVERIFY(!model->index(0, 2).data(Qt::ForegroundRole).isValid());
  // And the list's file holds them for next time.
  TGroupList list;
  QVERIFY(list.Load(serverDir + u"Groups.gnam"_s));
  QCOMPARE(list.entries[0].total, 1);
  QCOMPARE(list.entries[1].total, 7);
  QCOMPARE(list.entries[2].total, -9);
}

int main(int argc, char** argv) {
  TTestEnvironment environment;
  QApplication app(argc, argv);
  TGroupListDialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "GroupListDialogsTest.moc"
