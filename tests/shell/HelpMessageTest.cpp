// Help messages: shown once per run, only when switched on and when their
// page can be read; the choices of the page window and "Re-enable all".

#include "ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "shell/HelpMessageForm.h"
#include "shell/HelpMessageManager.h"
#include "support/TempDir.h"

#include <QDir>

#include <memory>

using namespace Qt::StringLiterals;

class THelpMessageTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void shownOncePerRunWhenPossible();
  void choices_data();
  void choices();
  void reenableAll();

 private:
  void WritePage(THelpMessage index, const QByteArray& title);
  bool Show(THelpMessage index) { return THelpMessageManager::Instance().ShowHelpMessage(nullptr, index); }
  QString SettingsValue(const QString& key);

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
  QString fHelpDir;
  QStringList fHeadings;
  int fChoice = TfrmHelpMessage::CHOICE_ALWAYS_SHOW;
  bool fEscape = false;
};

void THelpMessageTest::init() {
  fDir = std::make_unique<TTempDir>();
  fPrompt = std::make_unique<TFakePrompt>();
  Settings() = TSettings();
  Paths().userDataDir = fDir->Path() + u"data/"_s;
  QDir().mkpath(Paths().userDataDir);
  fHelpDir = fDir->Path() + u"_HelpMessages/"_s;
  QDir().mkpath(fHelpDir);
  THelpMessageManager::Instance().SetDirectory(fHelpDir);
  fHeadings.clear();
  fChoice = TfrmHelpMessage::CHOICE_ALWAYS_SHOW;
  fEscape = false;
  THelpMessageManager::Instance().SetRunner([this](TfrmHelpMessage& window) {
    fHeadings.append(window.Heading());
    window.SetChoice(static_cast<TfrmHelpMessage::TChoice>(fChoice));
    if (fEscape)
      window.reject();
    else
      window.CloseWithButton();
  });
}

void THelpMessageTest::cleanup() {
  THelpMessageManager::Instance().SetRunner(nullptr);
  fPrompt.reset();
  fDir.reset();
}

void THelpMessageTest::WritePage(THelpMessage index, const QByteArray& title) {
  fDir->Write(u"_HelpMessages/"_s + THelpMessageManager::PageName(index),
              "<html><head><title>" + title + "</title></head><body><p>Text</p></body></html>");
}

QString THelpMessageTest::SettingsValue(const QString& key) {
  TIniFile ini(Paths().userDataDir + QLatin1String(kSettingsFileName));
  return ini.ReadString(u"HelpMessages"_s, key, u"(none)"_s);
}

void THelpMessageTest::shownOncePerRunWhenPossible() {
  TSettings& s = Settings();
  // No page yet: nothing shown, and it stays pending for the next occasion.
  QVERIFY(!Show(WHAT_NOW));
  QVERIFY(s.helpMessages[WHAT_NOW].pending);
  WritePage(WHAT_NOW, "Where to start");
  QVERIFY(Show(WHAT_NOW));
  QCOMPARE(fHeadings, QStringList{u"Where to start"_s});
  QVERIFY(!s.helpMessages[WHAT_NOW].pending);
  QVERIFY(!Show(WHAT_NOW));  // once per run

  // A message switched off is not shown and stays pending.
  WritePage(IMPORT_NZB, "Importing");
  s.helpMessages[IMPORT_NZB].enabled = false;
  QVERIFY(!Show(IMPORT_NZB));
  QVERIFY(s.helpMessages[IMPORT_NZB].pending);
  s.helpMessages[IMPORT_NZB].enabled = true;
  s.helpMessagesEnabled = false;
  QVERIFY(!Show(IMPORT_NZB));
  s.helpMessagesEnabled = true;

  // Without the folder nothing can be shown.
  THelpMessageManager::Instance().SetDirectory(fDir->Path() + u"missing/"_s);
  QVERIFY(!Show(IMPORT_NZB));
  QVERIFY(s.helpMessages[IMPORT_NZB].pending);
  QCOMPARE(fHeadings.size(), 1);
  QVERIFY(fPrompt->calls.isEmpty());
}

void THelpMessageTest::choices_data() {
  QTest::addColumn<int>("choice");
  QTest::addColumn<bool>("escape");
  QTest::addColumn<QString>("messageEnabled");
  QTest::addColumn<QString>("allEnabled");
  QTest::addColumn<QStringList>("told");

  QTest::newRow("don't show again") << int(TfrmHelpMessage::CHOICE_DONT_SHOW_AGAIN) << false << "0"
                                    << "1" << QStringList{};
  QTest::newRow("stop all") << int(TfrmHelpMessage::CHOICE_STOP_ALL) << false << "1"
                            << "0"
                            << QStringList{
                                   u"information: Help messages have been disabled. You can re-enable then "
                                   u"at any time from the Help menu."_s};
  QTest::newRow("always show: nothing to change") << int(TfrmHelpMessage::CHOICE_ALWAYS_SHOW) << false << "(none)"
                                                  << "(none)" << QStringList{};
  QTest::newRow("escape ignores the choice") << int(TfrmHelpMessage::CHOICE_STOP_ALL) << true << "(none)"
                                             << "(none)" << QStringList{};
}

void THelpMessageTest::choices() {
  QFETCH(int, choice);
  QFETCH(bool, escape);
  QFETCH(QString, messageEnabled);
  QFETCH(QString, allEnabled);
  QFETCH(QStringList, told);
  WritePage(TAB_DECODER, "Decoder");
  fChoice = choice;
  fEscape = escape;
  QVERIFY(Show(TAB_DECODER));
  QVERIFY(!Settings().helpMessages[TAB_DECODER].pending);
  QCOMPARE(SettingsValue(u"TAB_DECODER.Enabled"_s), messageEnabled);
  QCOMPARE(SettingsValue(u"Global.Enabled"_s), allEnabled);
  QCOMPARE(fPrompt->Log(), told);

  // What was written holds in the next run.
  Settings() = TSettings();
  QVERIFY(ReadConfigs(Paths().userDataDir, true));
  QCOMPARE(Settings().helpMessages[TAB_DECODER].enabled, messageEnabled != u"0"_s);
  QCOMPARE(Settings().helpMessagesEnabled, allEnabled != u"0"_s);
}

void THelpMessageTest::reenableAll() {
  WritePage(TAB_MESSAGE_BROWSER, "Browser");
  WritePage(EDIT_DECODE_CONNECTIONS, "Connections");
  fChoice = TfrmHelpMessage::CHOICE_DONT_SHOW_AGAIN;
  QVERIFY(Show(TAB_MESSAGE_BROWSER));
  Settings().helpMessagesEnabled = false;
  QVERIFY(!Show(EDIT_DECODE_CONNECTIONS));

  THelpMessageManager::EnableAll();
  QCOMPARE(fPrompt->Log(), QStringList{u"information: Help messages have been enabled."_s});
  QCOMPARE(SettingsValue(u"TAB_MESSAGE_BROWSER.Enabled"_s), u"1"_s);
  QCOMPARE(SettingsValue(u"Global.Enabled"_s), u"1"_s);
  // At once, in this run too: the message shown before comes again.
  fChoice = TfrmHelpMessage::CHOICE_ALWAYS_SHOW;
  QVERIFY(Show(TAB_MESSAGE_BROWSER));
  QVERIFY(Show(EDIT_DECODE_CONNECTIONS));
  QCOMPARE(fHeadings, (QStringList{u"Browser"_s, u"Browser"_s, u"Connections"_s}));
}

KORVEL_QTEST_MAIN(THelpMessageTest)
#include "HelpMessageTest.moc"
