// The "Global Settings" dialog: each control reaches its key in the settings
// file at once on Apply; Cancel copies nothing; the anonymous list and the
// notification settings; the menu command that resets the confirmations.

#include "ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/TextFormat.h"
#include "app/ui/EditListFile.h"
#include "app/ui/OptionsForm.h"
#include "shell/TabForm.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

class TUrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl& url) { urls.append(url); }

 public:
  QList<QUrl> urls;
};

class TOptionsFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void applyWritesAtOnce_data();
  void applyWritesAtOnce();
  void cancelAndUnchangedOkWriteNothing();
  void anonymousList();
  void durationSteps();
  void editListFileOpensTheEditor();
  void resetConfirmations();

 private:
  QString Stored(const QString& section, const QString& key) const;

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
};

void TOptionsFormTest::init() {
  fDir = std::make_unique<TTempDir>();
  fPrompt = std::make_unique<TFakePrompt>();
  Settings() = TSettings();
  Paths().userDataDir = fDir->Path();
}

void TOptionsFormTest::cleanup() {
  fPrompt.reset();
  fDir.reset();
  TLogger::Instance().SetLogLevel(TLogger::LEVEL_VERBOSE);
}

QString TOptionsFormTest::Stored(const QString& section, const QString& key) const {
  return TIniFile(fDir->File(QLatin1String(kSettingsFileName))).ReadString(section, key, u"(none)"_s);
}

void TOptionsFormTest::applyWritesAtOnce_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QStringList>("told");

  QTest::newRow("check box") << "chkMinimizeToTray"
                             << "Setup"
                             << "MinimizeToTray"
                             << "1" << QStringList{};
  QTest::newRow("confirmation") << "chkAskTerminate"
                                << "Confirmation"
                                << "AskTerminate"
                                << "0" << QStringList{};
  QTest::newRow("negated key") << "chkgNoDownloadNewsgroupsRequester"
                               << "Setup"
                               << "gNoDownloadNewsgroupsRequester"
                               << "1" << QStringList{};
  QTest::newRow("space separator") << "chkSpaceThousandSeparator"
                                   << "Setup"
                                   << "gThousandSeparator"
                                   << "\" \"" << QStringList{};
  QTest::newRow("new organizer") << "chkNewOrganizer"
                                 << "Setup"
                                 << "gCurrentNewsgroupsOrganizerVersion"
                                 << "2"
                                 << QStringList{
                                        u"information: You need to restart Korvel for this change to take "
                                        u"effect."_s};
  QTest::newRow("log level") << "rbLogLevel3"
                             << "Setup"
                             << "gLogLevel"
                             << "3" << QStringList{};
  QTest::newRow("decode priority") << "cmbDecodePriority"
                                   << "Setup"
                                   << "gDecodePriority"
                                   << "6" << QStringList{};
  QTest::newRow("notification switch") << "chkNotificationEnabled"
                                       << "DesktopNotificationsDefinitions"
                                       << "NOTIFICATION_HEADERS_DOWNLOAD_FAILED.Enabled"
                                       << "0" << QStringList{};
  QTest::newRow("notification duration") << "sldNotificationDuration"
                                         << "DesktopNotificationsDefinitions"
                                         << "NOTIFICATION_HEADERS_DOWNLOAD_FAILED.Duration"
                                         << "0" << QStringList{};
}

void TOptionsFormTest::applyWritesAtOnce() {
  QFETCH(QString, control);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(QStringList, told);
  if (control == u"chkSpaceThousandSeparator"_s && SystemThousandSeparator() == u' ')
    QSKIP("the system separator is already a space");
  TfrmOptions options;
  QAbstractButton* apply = options.findChild<QAbstractButton*>(u"btnApply"_s);
  QVERIFY(!apply->isEnabled());
  options.findChild<QListWidget*>(u"lstNotifications"_s)->setCurrentRow(NOTIFICATION_HEADERS_DOWNLOAD_FAILED);
  QVERIFY(!apply->isEnabled());  // looking is no change

  QWidget* w = options.findChild<QWidget*>(control);
  QVERIFY2(w, qPrintable(control));
  if (auto* button = qobject_cast<QAbstractButton*>(w))
    button->click();
  else if (auto* combo = qobject_cast<QComboBox*>(w))
    combo->setCurrentIndex(combo->count() - 1);
  else if (auto* slider = qobject_cast<QSlider*>(w))
    slider->setValue(0);
  QVERIFY(apply->isEnabled());
  QCOMPARE(Stored(section, key), u"(none)"_s);
  apply->click();
  QCOMPARE(Stored(section, key), value);
  QCOMPARE(fPrompt->Log(), told);
  QVERIFY(!apply->isEnabled());
  QVERIFY(options.WasApplied());
  if (key == u"gLogLevel"_s) QCOMPARE(TLogger::Instance().LogLevel(), 3);
  if (key == u"gThousandSeparator"_s) QCOMPARE(ThousandSeparator(), QChar(u' '));
}

void TOptionsFormTest::cancelAndUnchangedOkWriteNothing() {
  {
    TfrmOptions options;
    options.findChild<QCheckBox*>(u"chkMinimizeToTray"_s)->click();
    options.reject();
    QVERIFY(!Settings().MinimizeToTray);
    QVERIFY(!options.WasApplied());
  }
  {
    TfrmOptions options;
    options.findChild<QAbstractButton*>(u"btnOk"_s)->click();
    QVERIFY(!options.WasApplied());
  }
  QVERIFY(!QFile::exists(fDir->File(QLatin1String(kSettingsFileName))));
  TfrmOptions options;
  options.findChild<QCheckBox*>(u"chkgShowToolTips"_s)->click();
  options.findChild<QAbstractButton*>(u"btnOk"_s)->click();
  QVERIFY(options.WasApplied());
  QCOMPARE(Stored(u"Setup"_s, u"gShowToolTips"_s), u"0"_s);
  QVERIFY(!Settings().gShowToolTips);
}

void TOptionsFormTest::anonymousList() {
  fDir->Write(u"_AnonymousList.txt"_s, "*anonym*\nalt.binaries.*\n");
  {
    TfrmOptions options;
    auto* list = options.findChild<QPlainTextEdit*>(u"memAnonymousList"_s);
    QCOMPARE(list->toPlainText(), u"*anonym*\nalt.binaries.*"_s);
    QVERIFY(!list->isEnabled());  // follows "Always post anonymously in the following newsgroups:"
    options.findChild<QCheckBox*>(u"chkAnonymousPosting"_s)->click();
    QVERIFY(list->isEnabled());
    list->setPlainText(u"alt.test\n\n  \n*private*\n"_s);
    options.Apply();
  }
  QCOMPARE(fDir->Read(u"_AnonymousList.txt"_s), QByteArray("alt.test\n*private*\n"));
  QCOMPARE(Stored(u"Setup"_s, u"AnonymousPosting"_s), u"1"_s);

  // A list that cannot be read is reported, and the dialog still opens.
  QFile::remove(fDir->File(u"_AnonymousList.txt"_s));
  QDir().mkpath(fDir->File(u"_AnonymousList.txt"_s));
  TfrmOptions options;
  QCOMPARE(fPrompt->Log(), QStringList{u"error: Error loading list of anonymous discussion groups."_s});
  options.findChild<QCheckBox*>(u"chkAnonymousPosting"_s)->click();
  options.Apply();
  QCOMPARE(fPrompt->Log().last(), u"error: Error saving list of anonymous discussion groups."_s);
}

void TOptionsFormTest::durationSteps() {
  const struct {
    int step;
    const char16_t* label;
  } kSteps[] = {{0, u"Infinite"}, {1, u"0.5 sec"}, {6, u"3.0 sec"}, {20, u"10.0 sec"}};
  for (const auto& s : kSteps) QCOMPARE(TfrmOptions::DurationLabel(s.step), QString::fromUtf16(s.label));
  QCOMPARE(TfrmOptions::StepOfDuration(3000), 6);
  QCOMPARE(TfrmOptions::StepOfDuration(1240), 2);
  QCOMPARE(TfrmOptions::StepOfDuration(-5), 0);
  QCOMPARE(TfrmOptions::StepOfDuration(600000), 20);

  // A duration the slider cannot show exactly stays as it is unless moved.
  Settings().notifications[NOTIFICATION_HEADERS_DOWNLOAD_STARTED].duration = 1234;
  TfrmOptions options;
  options.findChild<QCheckBox*>(u"chkMinimizeToTray"_s)->click();
  options.Apply();
  QCOMPARE(Stored(u"DesktopNotificationsDefinitions"_s, u"NOTIFICATION_HEADERS_DOWNLOAD_STARTED.Duration"_s),
           u"1234"_s);
}

void TOptionsFormTest::editListFileOpensTheEditor() {
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(u"file"_s, &catcher, "Open");
  QVERIFY(EditListFile(fDir->Path(), u"_Headers.txt"_s));
  QDesktopServices::unsetUrlHandler(u"file"_s);
  QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(fDir->File(u"_Headers.txt"_s))});
  QVERIFY(fDir->Read(u"_Headers.txt"_s).contains("X-Newsreader"));  // created with its defaults
}

void TOptionsFormTest::resetConfirmations() {
  fDir->Write(QLatin1String(kSettingsFileName), "[Confirmation]\nAskTerminate=0\ngWarnNoSignature=0\n[Setup]\nx=1\n");
  Settings().AskTerminate = false;
  Settings().gWarnNoSignature = false;
  TfrmTabForm window;
  fPrompt->confirmAnswer = false;
  window.ResetConfirmationRequesters();
  QVERIFY(!Settings().AskTerminate);
  fPrompt->confirmAnswer = true;
  window.ResetConfirmationRequesters();
  QVERIFY(Settings().AskTerminate && Settings().gWarnNoSignature);
  QVERIFY(!TIniFile(fDir->File(QLatin1String(kSettingsFileName))).SectionExists(u"Confirmation"_s));
  QCOMPARE(fPrompt->Log(), (QStringList{u"confirm: All confirmation requesters will be enabled again. Continue?"_s,
                                        u"confirm: All confirmation requesters will be enabled again. Continue?"_s,
                                        u"information: All confirmation requesters have been enabled."_s}));
}

KORVEL_QTEST_MAIN(TOptionsFormTest)
#include "OptionsFormTest.moc"
