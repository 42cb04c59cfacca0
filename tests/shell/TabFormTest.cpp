// The main window's tab machinery: visit history, closing tabs and the choice
// of the next tab, menus, messages to the tab forms, the close query and the
// import of dropped or opened files.

#include "ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/Settings.h"
#include "shell/OpenRequest.h"
#include "shell/ShellMessage.h"
#include "shell/TabForm.h"
#include "shell/TabHistory.h"
#include "shell/TabSheet.h"
#include "support/TempDir.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;
using namespace shellmsg;

class TTabFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void historyKeepsVisits_data();
  void historyKeepsVisits();
  void closeChoosesNextTab_data();
  void closeChoosesNextTab();
  void closeMessageNeverHitsAnotherTab();
  void closeIsRefusedByForm();
  void permanentTabsCannotBeClosed();
  void closeButtonsMiddleClickAndShortcut();
  void menusOfCurrentTabAreMerged();
  void decoderItemsBelongToCurrentTabOnly();
  void queriesAndBroadcasts();
  void commandsEnabledByTheirHandlers();
  void closeQuery_data();
  void closeQuery();
  void shiftEscapeEndsWithoutQuestion();
  void droppedFiles_data();
  void droppedFiles();
  void openRequests_data();
  void openRequests();
  void openCommandsQueueImport();
  void quickLoadLists();
  void sizePresetCentresWindow();

 private:
  TTestPage* AddPage(const QString& name);
  QString Name(const TTabEntry* entry) const;
  QStringList TabNames() const;
  QString CurrentName() const;
  TTabEntry* Entry(const QString& name) const;
  void Visit(const QString& names);
  static void Settle();

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
  std::unique_ptr<TfrmTabForm> fWindow;
};

void TTabFormTest::init() {
  fDir = std::make_unique<TTempDir>();
  Settings() = TSettings();
  Paths().userDataDir = fDir->Path();
  Paths().downloadListsDir = fDir->Path() + u"lists/"_s;
  QDir().mkpath(Paths().downloadListsDir);
  fPrompt = std::make_unique<TFakePrompt>();
  fWindow = std::make_unique<TfrmTabForm>();
  QVERIFY(fWindow->SetupForm());
  QVERIFY(fWindow->CreateNewsgroupsBrowserTab());
  QVERIFY(fWindow->CreateHeadersManagerTab());
  QCOMPARE(fWindow->SetCurrentTabByPageIndex(0), RC_SUCCESS);
  fWindow->show();
  Settle();
  fPrompt->calls.clear();
}

void TTabFormTest::cleanup() {
  fWindow.reset();
  Settle();
  fPrompt.reset();
  fDir.reset();
}

void TTabFormTest::Settle() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TTestPage* TTabFormTest::AddPage(const QString& name) {
  auto* page = new TTestPage(name);
  TTabEntry* entry = nullptr;
  if (fWindow->EncloseFormIntoTab(page, TAB_KIND_MESSAGE_BROWSER, u"      "_s + name, &entry) != RC_SUCCESS)
    return nullptr;
  return page;
}

QString TTabFormTest::Name(const TTabEntry* entry) const {
  if (!entry) return u"-"_s;
  if (entry->kind == TAB_KIND_NEWSGROUPS_BROWSER) return u"NB"_s;
  if (entry->kind == TAB_KIND_HEADERS_MANAGER) return u"HM"_s;
  return entry->form->objectName();
}

QStringList TTabFormTest::TabNames() const {
  QStringList names;
  for (int i = 0; i < fWindow->Tabs()->count(); ++i)
    names.append(Name(qobject_cast<TTabSheet*>(fWindow->Tabs()->widget(i))->Entry()));
  return names;
}

QString TTabFormTest::CurrentName() const { return Name(fWindow->GetCurrentTabEntry()); }

TTabEntry* TTabFormTest::Entry(const QString& name) const {
  for (int i = 0; i < fWindow->Entries().Count(); ++i)
    if (Name(fWindow->Entries().At(i)) == name) return fWindow->Entries().At(i);
  return nullptr;
}

void TTabFormTest::Visit(const QString& names) {
  for (const QString& name : names.split(u' ', Qt::SkipEmptyParts)) fWindow->SetCurrentTab(Entry(name));
}

// ------------------------------------------------------------------ history

void TTabFormTest::historyKeepsVisits_data() {
  QTest::addColumn<QList<quint64>>("visits");
  QTest::addColumn<QList<quint64>>("gone");
  QTest::addColumn<quint64>("closing");
  QTest::addColumn<quint64>("next");
  QTest::addColumn<QList<quint64>>("left");

  QTest::newRow("back to the tab before")
      << QList<quint64>{1, 2, 3, 2} << QList<quint64>{} << quint64(2) << quint64(3) << QList<quint64>{1};
  QTest::newRow("repeated visit counted once")
      << QList<quint64>{1, 1, 2, 2} << QList<quint64>{} << quint64(2) << quint64(1) << QList<quint64>{};
  QTest::newRow("closed tabs passed over")
      << QList<quint64>{1, 2, 3} << QList<quint64>{2} << quint64(3) << quint64(1) << QList<quint64>{};
  QTest::newRow("nothing to go back to") << QList<quint64>{3} << QList<quint64>{} << quint64(3) << quint64(0)
                                         << QList<quint64>{};
  QList<quint64> sixteen;
  for (quint64 i = 1; i <= 16; ++i) sixteen.append(i);
  QTest::newRow("sixteenth visit drops the oldest")
      << sixteen << QList<quint64>{} << quint64(16) << quint64(15) << sixteen.mid(1, 13);
}

void TTabFormTest::historyKeepsVisits() {
  QFETCH(QList<quint64>, visits);
  QFETCH(QList<quint64>, gone);
  QFETCH(quint64, closing);
  QFETCH(quint64, next);
  QFETCH(QList<quint64>, left);
  TTabHistory history;
  for (quint64 v : visits) history.Visit(v);
  QVERIFY(history.Visits().size() <= TTabHistory::kMaxVisits);
  QCOMPARE(history.TakePrevious(closing, [&](quint64 id) { return !gone.contains(id); }), next);
  history.Remove(closing);
  QCOMPARE(history.Visits(), left);
}

// ------------------------------------------------------------------ closing

void TTabFormTest::closeChoosesNextTab_data() {
  QTest::addColumn<QString>("pages");
  QTest::addColumn<QString>("visits");
  QTest::addColumn<bool>("forgetHistory");
  QTest::addColumn<QString>("close");
  QTest::addColumn<QString>("current");

  QTest::newRow("last visited before it") << "A B C"
                                          << "A B C B" << false << "B"
                                          << "C";
  QTest::newRow("only closable tab, no history: left") << "A"
                                                       << "A" << true << "A"
                                                       << "HM";
  QTest::newRow("no history: right neighbour first") << "A B C"
                                                     << "B" << true << "B"
                                                     << "C";
  QTest::newRow("not current: current stays") << "A B C"
                                              << "A C" << false << "A"
                                              << "C";
  QTest::newRow("sixteen visits later") << "A B C"
                                        << "A B A B A B A B A B A B A B A C" << false << "C"
                                        << "A";
}

void TTabFormTest::closeChoosesNextTab() {
  QFETCH(QString, pages);
  QFETCH(QString, visits);
  QFETCH(bool, forgetHistory);
  QFETCH(QString, close);
  QFETCH(QString, current);
  for (const QString& name : pages.split(u' ')) QVERIFY(AddPage(name));
  Visit(visits);
  if (forgetHistory) const_cast<TTabHistory&>(fWindow->History()).Clear();
  QCOMPARE(fWindow->CloseTab(Entry(close)->sheet), RC_SUCCESS);
  QCOMPARE(CurrentName(), current);
  QVERIFY(!TabNames().contains(close));
  QVERIFY(!fWindow->History().Visits().contains(0));
}

void TTabFormTest::closeMessageNeverHitsAnotherTab() {
  TTestPage* a = AddPage(u"A"_s);
  AddPage(u"B"_s);
  AddPage(u"C"_s);
  Visit(u"A"_s);
  // A asks a question of its own while a second click on its close button
  // arrives, and C is closed meanwhile: B, now where A was, must survive.
  a->askMsOnClose = 60;
  const TTabEntry* entryA = Entry(u"A"_s);
  fWindow->PostCloseTab(entryA);
  fWindow->PostCloseTab(entryA);
  int asked = 0;
  a->onMessage = [&](int offset) {
    if (offset != TM_CLOSE_REQUEST) return;
    ++asked;
    fWindow->PostCloseTab(Entry(u"C"_s));
  };
  QTRY_COMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s, u"B"_s}));
  QCOMPARE(asked, 1);

  // A message for a tab that is gone changes nothing.
  TShellMessage::Post(fWindow.get(), MM_CLOSE_TAB, 1000);
  Settle();
  QCOMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s, u"B"_s}));
}

void TTabFormTest::closeIsRefusedByForm() {
  TTestPage* a = AddPage(u"A"_s);
  a->agreeToClose = false;
  QCOMPARE(fWindow->CloseTab(Entry(u"A"_s)->sheet), RC_ABORTED);
  QVERIFY(TabNames().contains(u"A"_s));
  QVERIFY(!Entry(u"A"_s)->closing);
  a->agreeToClose = true;
  QCOMPARE(fWindow->CloseTab(Entry(u"A"_s)->sheet), RC_SUCCESS);
  QVERIFY(!TabNames().contains(u"A"_s));
}

void TTabFormTest::permanentTabsCannotBeClosed() {
  fWindow->PostCloseTab(Entry(u"NB"_s));
  fWindow->PostCloseTab(Entry(u"HM"_s));
  Settle();
  QCOMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s}));
  QCOMPARE(fPrompt->Log(), (QStringList{u"warning: The newsgroups browser tab cannot be closed."_s,
                                        u"warning: The headers manager tab cannot be closed."_s}));
  QCOMPARE(fWindow->CloseTab(new QWidget(fWindow.get())), RC_INVALID_TYPECAST);
}

void TTabFormTest::closeButtonsMiddleClickAndShortcut() {
  AddPage(u"A"_s);
  AddPage(u"B"_s);
  AddPage(u"C"_s);
  QTabBar* bar = fWindow->Tabs()->tabBar();
  QCOMPARE(bar->findChildren<QToolButton*>(u"btnCloseTab"_s).size(), 3);  // none on permanent tabs

  QAction* closeCurrent = fWindow->findChild<QAction*>(u"actCloseCurrentTab"_s);
  QVERIFY(closeCurrent);
  Visit(u"NB"_s);
  QVERIFY(!closeCurrent->isEnabled());
  Visit(u"A"_s);
  QVERIFY(closeCurrent->isEnabled());
  closeCurrent->trigger();
  Settle();
  QCOMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s, u"B"_s, u"C"_s}));

  auto* button = qobject_cast<QToolButton*>(bar->tabButton(2, QTabBar::RightSide));
  QVERIFY(button);
  button->click();
  Settle();
  QCOMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s, u"C"_s}));

  // A middle click with a modifier is something else; without, it closes.
  QTest::mouseClick(bar, Qt::MiddleButton, Qt::ShiftModifier, bar->tabRect(2).center());
  Settle();
  QCOMPARE(TabNames().size(), 3);
  QTest::mouseClick(bar, Qt::MiddleButton, Qt::NoModifier, bar->tabRect(2).center());
  Settle();
  QCOMPARE(TabNames(), (QStringList{u"NB"_s, u"HM"_s}));
}

void TTabFormTest::menusOfCurrentTabAreMerged() {
  auto* b = new TTestPage(u"B"_s);
  b->menus = {new QMenu(u"Gamma"_s, b)};
  QCOMPARE(fWindow->EncloseActivateFormIntoTab(b, TAB_KIND_COMPOSE, u"      Compose New Post"_s), RC_SUCCESS);
  auto titles = [this] {
    QStringList t;
    for (QAction* action : fWindow->menuBar()->actions()) t.append(action->text());
    return t;
  };
  QCOMPARE(titles(), (QStringList{u"&File"_s, u"Gamma"_s, u"Se&ttings"_s, u"&Window"_s, u"&Help"_s}));
  QCOMPARE(fWindow->Tabs()->tabText(fWindow->Tabs()->currentIndex()), u"Compose New Post"_s);
  Visit(u"NB"_s);
  QCOMPARE(titles(), (QStringList{u"&File"_s, u"Se&ttings"_s, u"&Window"_s, u"&Help"_s}));
  Visit(u"B"_s);
  QCOMPARE(fWindow->CloseTab(Entry(u"B"_s)->sheet), RC_SUCCESS);
  QVERIFY(!titles().contains(u"Gamma"_s));
}

void TTabFormTest::decoderItemsBelongToCurrentTabOnly() {
  AddPage(u"D"_s);
  Visit(u"D"_s);
  QAction* save = fWindow->DecoderFileItem(TfrmTabForm::DECODER_SAVE);
  QVERIFY(!save->isVisible() && !save->isEnabled());
  int saved = 0;
  save->setVisible(true);
  save->setEnabled(true);
  connect(save, &QAction::triggered, this, [&] { ++saved; });
  save->trigger();
  QCOMPARE(saved, 1);
  Visit(u"NB"_s);
  QVERIFY(!save->isVisible() && !save->isEnabled());
  save->setEnabled(true);
  save->trigger();
  QCOMPARE(saved, 1);  // the decoder's command went with its tab
}

void TTabFormTest::queriesAndBroadcasts() {
  TTestPage* a = AddPage(u"A"_s);
  TTestPage* b = AddPage(u"B"_s);
  TTestPage* c = AddPage(u"C"_s);
  QVERIFY(fWindow->AllTabsIdle());
  b->idle = false;
  QVERIFY(!fWindow->AllTabsIdle());

  bool available = true;
  QVERIFY(!fWindow->SendBoolMessageQuery(TM_QUERY_LAST_HEADERS, &available));
  b->lastHeadersAvailable = true;
  c->lastHeadersAvailable = false;
  available = false;
  QVERIFY(fWindow->SendBoolMessageQuery(TM_QUERY_LAST_HEADERS, &available));
  QVERIFY(available);
  QCOMPARE(c->received.count(TM_QUERY_LAST_HEADERS), 1);  // asked by the first query only: B answered first

  // Becoming current and the end of start-up are posted to the forms.
  a->received.clear();
  Visit(u"A"_s);
  QVERIFY(!a->received.contains(TM_TAB_ACTIVATED));
  Settle();
  QCOMPARE(a->received.count(TM_TAB_ACTIVATED), 1);
  TShellMessage::Send(fWindow.get(), MM_STARTUP_COMPLETE);
  Settle();
  for (TTestPage* p : {a, b, c}) QCOMPARE(p->received.count(TM_STARTUP_COMPLETE), 1);

  // Main-window messages that switch tabs.
  TShellMessage::Post(fWindow.get(), MM_SHOW_HEADERS_MANAGER);
  Settle();
  QCOMPARE(CurrentName(), u"HM"_s);
}

void TTabFormTest::commandsEnabledByTheirHandlers() {
  TTestPage* a = AddPage(u"A"_s);
  QAction* servers = fWindow->CommandAction(TfrmTabForm::CMD_EDIT_NNTP_SERVERS);
  QCOMPARE(servers->text(), u"Edit NNTP servers..."_s);
  QVERIFY(!servers->isEnabled());
  QVERIFY(!fWindow->findChild<QAction*>(u"actImportNzb"_s)->isEnabled());
  QVERIFY(!fWindow->findChild<QAction*>(u"actLoadDownloadList"_s)->isEnabled());

  bool changed = false;
  fWindow->SetCommandHandler(TfrmTabForm::CMD_EDIT_NNTP_SERVERS, [&](QWidget*) { return changed; });
  QVERIFY(servers->isEnabled());
  servers->trigger();
  QVERIFY(!a->received.contains(TM_NEWS_SERVERS_CHANGED));  // cancelled editor: nobody is told
  changed = true;
  TShellMessage::Post(fWindow.get(), MM_EDIT_NNTP_SERVERS);
  Settle();
  QCOMPARE(a->received.count(TM_NEWS_SERVERS_CHANGED), 1);
}

// ------------------------------------------------------------------ close query

void TTabFormTest::closeQuery_data() {
  QTest::addColumn<bool>("busy");
  QTest::addColumn<bool>("askTerminate");
  QTest::addColumn<int>("answer");
  QTest::addColumn<int>("choice");
  QTest::addColumn<QString>("question");
  QTest::addColumn<bool>("closes");
  QTest::addColumn<bool>("askAfter");

  const QString ask = u"Close Korvel Newsreader now?"_s;
  const QString busy =
      u"Some tabs are still performing operations. Would you like to forcefully close the application and risk "
      u"loosing data?"_s;
  const int yes = TUserPrompt::RESULT_YES, no = TUserPrompt::RESULT_NO;
  QTest::newRow("idle, asked, yes") << false << true << yes << 0 << ask << true << true;
  QTest::newRow("idle, asked, yes, never again") << false << true << yes << 1 << ask << true << false;
  QTest::newRow("idle, asked, no") << false << true << no << 1 << ask << false << true;
  QTest::newRow("idle, not asked") << false << false << no << 0 << QString() << true << false;
  QTest::newRow("busy, yes") << true << false << yes << 1 << busy << true << false;
  QTest::newRow("busy, no") << true << true << no << 0 << busy << false << true;
}

void TTabFormTest::closeQuery() {
  QFETCH(bool, busy);
  QFETCH(bool, askTerminate);
  QFETCH(int, answer);
  QFETCH(int, choice);
  QFETCH(QString, question);
  QFETCH(bool, closes);
  QFETCH(bool, askAfter);
  TTestPage* idlePage = AddPage(u"A"_s);
  TTestPage* decoder = AddPage(u"D"_s);
  decoder->idle = !busy;
  Settings().AskTerminate = askTerminate;
  fPrompt->taskResult = answer;
  fPrompt->taskDropDown = choice;
  bool visibleWhenForced = false;
  decoder->onMessage = [&](int offset) {
    if (offset == TM_FORCED_SHUTDOWN) visibleWhenForced = fWindow->isVisible();
  };

  QCOMPARE(fWindow->close(), closes);
  QCOMPARE(fWindow->isVisible(), !closes);
  if (question.isEmpty()) {
    QVERIFY(fPrompt->calls.isEmpty());
  } else {
    QCOMPARE(fPrompt->Log(), QStringList{u"task: "_s + question});
    QCOMPARE(fPrompt->lastTask.dropDown,
             (QStringList{u"Ask before closing Korvel"_s, u"Close Korvel without asking"_s}));
    QCOMPARE(fPrompt->lastTask.buttons, TUserPrompt::BUTTONS_YESNO);
  }
  const bool forced = busy && closes;
  QCOMPARE(decoder->received.contains(TM_FORCED_SHUTDOWN), forced);
  QCOMPARE(idlePage->received.contains(TM_FORCED_SHUTDOWN), forced);
  if (forced) QVERIFY(visibleWhenForced);
  QCOMPARE(Settings().AskTerminate, askAfter);
}

void TTabFormTest::shiftEscapeEndsWithoutQuestion() {
  TTestPage* a = AddPage(u"A"_s);
  a->idle = false;
  fWindow->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(fWindow.get()));
  QTest::keyClick(fWindow.get(), Qt::Key_Escape, Qt::ShiftModifier);
  QVERIFY(!fWindow->isVisible());
  QVERIFY(a->received.contains(TM_FORCED_SHUTDOWN));
  QVERIFY(fPrompt->calls.isEmpty());
}

// ------------------------------------------------------------------ documents

void TTabFormTest::droppedFiles_data() {
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<QStringList>("prompts");
  QTest::addColumn<QStringList>("imported");

  const QString longName = u"/tmp/"_s + QString(TfrmTabForm::kMaxDroppedPathLength, u'x') + u".nzb"_s;
  QTest::newRow("two nzb and a text file")
      << QStringList{u"/d/a.nzb"_s, u"/d/b.NZB"_s, u"/d/c.txt"_s} << true
      << QStringList{u"confirm: Would you like to import 2 NZB files?"_s} << QStringList{u"/d/a.nzb"_s, u"/d/b.NZB"_s};
  QTest::newRow("declined") << QStringList{u"/d/a.nzb"_s, u"/d/b.nzb"_s} << false
                            << QStringList{u"confirm: Would you like to import 2 NZB files?"_s} << QStringList{};
  QTest::newRow("one nzb, no question") << QStringList{u"/d/a.nzb"_s, u"/d/notes.txt"_s} << true << QStringList{}
                                        << QStringList{u"/d/a.nzb"_s};
  QTest::newRow("text files only") << QStringList{u"/d/a.txt"_s, u"/d/b.nfo"_s} << true
                                   << QStringList{u"error: The files cannot be imported."_s} << QStringList{};
  QTest::newRow("one text file") << QStringList{u"/d/a.txt"_s} << true
                                 << QStringList{u"error: The file cannot be imported."_s} << QStringList{};
  QTest::newRow("overlong path passed over")
      << QStringList{longName, u"/d/b.nzb"_s} << true << QStringList{} << QStringList{u"/d/b.nzb"_s};
}

void TTabFormTest::droppedFiles() {
  QFETCH(QStringList, files);
  QFETCH(bool, confirm);
  QFETCH(QStringList, prompts);
  QFETCH(QStringList, imported);
  QList<QStringList> imports;
  fWindow->SetNzbImporter([&](const QStringList& paths) { imports.append(paths); });
  fPrompt->confirmAnswer = confirm;

  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& f : files) urls.append(QUrl::fromLocalFile(f));
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(fWindow.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(fWindow.get(), &drop);
  QVERIFY(fPrompt->calls.isEmpty());  // the import runs after the drop
  Settle();
  QCOMPARE(fPrompt->Log(), prompts);
  QCOMPARE(imports, imported.isEmpty() ? QList<QStringList>{} : QList<QStringList>{imported});
  QVERIFY(fWindow->WaitingFiles().isEmpty());
}

void TTabFormTest::openRequests_data() {
  QTest::addColumn<QString>("request");
  QTest::addColumn<QStringList>("paths");

  QTest::newRow("one") << R"([Open("/home/u/a.nzb")])" << QStringList{u"/home/u/a.nzb"_s};
  QTest::newRow("two without separator") << R"([Open("/home/u/a.nzb")][Open("/home/u/b c.nzb")])"
                                         << QStringList{u"/home/u/a.nzb"_s, u"/home/u/b c.nzb"_s};
  QTest::newRow("blanks around") << R"(  [Open("/a.nzb")]  [open("/b.nzb")] )" << QStringList{u"/a.nzb"_s, u"/b.nzb"_s};
  QTest::newRow("other commands ignored")
      << R"([Activate][Open("/a.nzb")][Print("/b.nzb")])" << QStringList{u"/a.nzb"_s};
  QTest::newRow("path holding ][ and a quote")
      << R"([Open("/x/a][b.nzb")][Open("/x/say "hi".nzb")])" << QStringList{u"/x/a][b.nzb"_s, u"/x/say \"hi\".nzb"_s};
  QTest::newRow("empty path") << R"([Open("")])" << QStringList{};
  QTest::newRow("unterminated") << R"([Open("/a.nzb"))" << QStringList{u"/a.nzb"_s};
  QTest::newRow("made by the program") << MakeOpenCommand(u"/p/ü.nzb"_s) + MakeOpenCommand(u"/q.nzb"_s)
                                       << QStringList{u"/p/ü.nzb"_s, u"/q.nzb"_s};
}

void TTabFormTest::openRequests() {
  QFETCH(QString, request);
  QFETCH(QStringList, paths);
  QCOMPARE(PathsOfOpenCommands(SplitOpenRequest(request)), paths);
}

void TTabFormTest::openCommandsQueueImport() {
  QList<QStringList> imports;
  fWindow->SetNzbImporter([&](const QStringList& p) { imports.append(p); });
  fWindow->HandleOpenCommands(SplitOpenRequest(uR"([Open("/a.nzb")][Open("/b.txt")])"_s));
  QCOMPARE(fWindow->WaitingFiles(), (QStringList{u"/a.nzb"_s, u"/b.txt"_s}));
  Settle();
  QCOMPARE(imports, QList<QStringList>{QStringList{u"/a.nzb"_s}});
  // A request without documents only brings the window forward.
  fWindow->HandleOpenCommands({});
  Settle();
  QCOMPARE(imports.size(), 1);
  QVERIFY(fPrompt->calls.isEmpty());
}

void TTabFormTest::quickLoadLists() {
  const QString dir = Paths().downloadListsDir;
  auto make = [&](const QString& name, int minutesAgo, bool withCue) {
    QFile cui(dir + name + u".cui"_s);
    QVERIFY(cui.open(QIODevice::WriteOnly));
    cui.close();
    QVERIFY(cui.open(QIODevice::ReadWrite));
    QVERIFY(cui.setFileTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo), QFileDevice::FileModificationTime));
    if (withCue) {
      QFile cue(dir + name + u".cue"_s);
      QVERIFY(cue.open(QIODevice::WriteOnly));
    }
  };
  QMenu* quickLoad = fWindow->findChild<QMenu*>(u"mnuQuickLoad"_s);
  QVERIFY(quickLoad);
  QStringList opened;
  fWindow->SetDownloadListOpener([&](const QString& cue) {
    opened.append(cue);
    return true;
  });
  emit quickLoad->aboutToShow();
  QCOMPARE(quickLoad->actions().size(), 1);
  QCOMPARE(quickLoad->actions().first()->text(), u"No item available"_s);
  QVERIFY(!quickLoad->actions().first()->isEnabled());

  // Made oldest first, so creation and change times agree.
  make(u"OLDER MOVIE"_s, 200, true);
  for (int i = 0; i < 30; ++i) make(u"list"_s + QString::number(i), 100 - i, true);  // list29 is the newest
  make(u"SHOW s01"_s, 1, false);                                                     // newest, but its ".cue" is gone

  const QStringList recent = TfrmTabForm::RecentDownloadLists(dir);
  QCOMPARE(recent.size(), TfrmTabForm::kQuickLoadItems);
  QCOMPARE(recent.first(), dir + u"SHOW s01.cue"_s);
  QCOMPARE(recent.at(1), dir + u"list29.cue"_s);
  QVERIFY(!recent.contains(dir + u"OLDER MOVIE.cue"_s));
  QCOMPARE(TfrmTabForm::QuickLoadCaption(u"SHOW s01"_s), u"Show s01"_s);
  QCOMPARE(TfrmTabForm::QuickLoadCaption(u"éCLAIR"_s), u"Éclair"_s);

  emit quickLoad->aboutToShow();
  QCOMPARE(quickLoad->actions().size(), TfrmTabForm::kQuickLoadItems);
  QCOMPARE(quickLoad->actions().at(0)->text(), u"Show s01"_s);
  quickLoad->actions().at(0)->trigger();
  QCOMPARE(fPrompt->Log(), QStringList{u"error: The selected download list cannot be loaded."_s});
  quickLoad->actions().at(1)->trigger();
  QCOMPARE(opened, QStringList{dir + u"list29.cue"_s});
}

void TTabFormTest::sizePresetCentresWindow() {
  fWindow->ApplySizePreset(TfrmTabForm::SIZE_640X480);
  const QRect area = fWindow->screen()->availableGeometry();
  QCOMPARE(fWindow->frameGeometry().size(), QSize(640, 480));
  QVERIFY(qAbs(fWindow->frameGeometry().center().x() - area.center().x()) <= 1);
  QVERIFY(qAbs(fWindow->frameGeometry().center().y() - area.center().y()) <= 1);
  fWindow->ApplySizePreset(TfrmTabForm::SIZE_FULLSCREEN);
  QCOMPARE(fWindow->frameGeometry(), area);
  QVERIFY(!fWindow->isMaximized());
}

KORVEL_QTEST_MAIN(TTabFormTest)
#include "TabFormTest.moc"
