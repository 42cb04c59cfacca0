#include "ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/ApplicationCore.h"
#include "app/IniFile.h"
#include "newsgroups/ui/NewsgroupsBrowserForm.h"
#include "periphery/ui/FirstRunDialog.h"
#include "shell/HelpMessageForm.h"
#include "shell/HelpMessageManager.h"
#include "shell/Startup.h"
#include "shell/TabForm.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// Whole start-ups and shutdowns of the program in one process, with HOME and
// the XDG folders in a temporary directory.
class TStartupTest : public QObject {
  Q_OBJECT

 private:
  static QString Documents() { return TTestEnvironment::Home() + u"/Documents/"_s; }
  static QString DataDir() { return Documents() + u"KorvelData/"_s; }
  static QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // Accepts the first-run dialog with its proposed directory.
  static bool AcceptFirstRun() {
    TfrmFirstRun dialog;
    return dialog.Apply();
  }

  int RunOnce(bool acceptSetup, QStringList* captions = nullptr, QString* status = nullptr) {
    // Ending the event loop closes the window, which asks first; help pages
    // would wait for a reader.
    TFakePrompt prompt;
    THelpMessageManager::Instance().SetRunner([](TfrmHelpMessage& page) { page.reject(); });
    TStartup::TOptions options;
    options.runSetup = [acceptSetup] { return acceptSetup && AcceptFirstRun(); };
    options.onReady = [captions, status](TfrmTabForm& window) {
      if (captions)
        for (int i = 0; i < window.Tabs()->count(); ++i) *captions << window.Tabs()->tabText(i);
      if (status) *status = window.NewsgroupsBrowser()->StatusText();
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    };
    return TStartup::Run(*qApp, options);
  }

 private slots:
  void cancelledFirstRunEndsWithoutWindow() {
    QCOMPARE(RunOnce(false), 1);
    for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!w->isVisible());
    QVERIFY(!QFileInfo::exists(Documents() + u"Korvel.ini"_s));
    QVERIFY(!QFileInfo::exists(DataDir() + u"_Settings.ini"_s));
  }

  void firstStartCreatesTheLayout() {
    QStringList captions;
    QString status;
    QCOMPARE(RunOnce(true, &captions, &status), 0);
    QCOMPARE(captions, QStringList({u"Newsgroups Browser"_s, u"Headers Manager"_s}));
    QVERIFY2(status.startsWith(u"Welcome to Korvel Newsreader Version "_s), qPrintable(status));

    for (const char* sub : {"_Dictionaries", "_SelectionGroups", "_SelectionScripts", "_Signatures", "_Temp",
                            "_Mime", "Attachments", "_Usenet/_Headers", "_Usenet/_DownloadLists",
                            "_Usenet/_MessageStore/_Messages", "_Usenet/_MessageStore/_MID", "_Usenet/_Servers"})
      QVERIFY2(QFileInfo(DataDir() + QLatin1String(sub)).isDir(), sub);
    TIniFile settings(DataDir() + u"_Settings.ini"_s);
    QCOMPARE(settings.ReadString(u"Application"_s, u"Name"_s), u"Korvel"_s);
    QVERIFY(QRegularExpression(u"^\\{[0-9A-F-]{36}\\}$"_s)
                .match(settings.ReadString(u"Setup"_s, u"gFileSignature"_s))
                .hasMatch());
    QCOMPARE(TIniFile(Documents() + u"Korvel.ini"_s).ReadString(u"Setup"_s, u"UserDataPath"_s),
             WithoutTrailingSlashForTest(DataDir()));
    QVERIFY(QFileInfo::exists(DataDir() + u"_AutoShowList.txt"_s));
    QVERIFY(QFileInfo::exists(TApplicationCore::LogFilePath()));
    QVERIFY(QFileInfo::exists(Documents() + u"triggers_events.trk"_s));
  }

  void secondStartReadsEverySettingBack() {
    const QString path = DataDir() + u"_Settings.ini"_s;
    {
      TIniFile ini(path);
      ini.WriteBool(u"Setup"_s, u"gShowNewsDates"_s, true);
      ini.WriteString(u"Setup"_s, u"gThousandSeparator"_s, u"\" \""_s);
      ini.WriteString(u"Paths"_s, u"NewsDecodePath"_s, u"/srv/downloads"_s);
      ini.WriteInteger(u"HeadersManager"_s, u"gCompletedJobSortColumn"_s, 2);
      QVERIFY(ini.UpdateFile());
    }
    const QByteArray before = ReadFile(path);
    QDir().mkpath(DataDir() + u"_Temp/sub"_s);
    QFile leftover(DataDir() + u"_Temp/leftover.tmp"_s);
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    QCOMPARE(RunOnce(false), 0);  // settings exist: no setup
    QCOMPARE(ReadFile(path), before);
    QVERIFY(!QFileInfo::exists(DataDir() + u"_Temp/leftover.tmp"_s));
    QVERIFY(QFileInfo(DataDir() + u"_Temp/sub"_s).isDir());
  }

  // The Settings menu of the started program reaches the server editor and
  // the default connection list editor.
  void settingsMenuOpensServerAndConnectionEditors() {
    TFakePrompt prompt;
    THelpMessageManager::Instance().SetRunner([](TfrmHelpMessage& page) { page.reject(); });
    QStringList opened;
    const auto closeNextDialog = [&opened] {
      QTimer::singleShot(0, qApp, [&opened] {
        QWidget* dialog = QApplication::activeModalWidget();
        opened << (dialog ? dialog->objectName() : u"(none)"_s);
        if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
      });
    };
    TStartup::TOptions options;
    options.runSetup = [] { return false; };  // the first start above made the settings
    options.onReady = [&](TfrmTabForm& window) {
      QTimer::singleShot(0, qApp, [&] {
        for (TfrmTabForm::TCommand command :
             {TfrmTabForm::CMD_EDIT_NNTP_SERVERS, TfrmTabForm::CMD_EDIT_DEFAULT_DECODE_CONNECTIONS}) {
          QAction* action = window.CommandAction(command);
          if (!action->isEnabled()) {
            opened << u"disabled: "_s + action->objectName();
            continue;
          }
          closeNextDialog();
          action->trigger();
        }
        QCoreApplication::quit();
      });
    };
    QCOMPARE(TStartup::Run(*qApp, options), 0);
    QCOMPARE(opened, (QStringList{u"frmEditNewsServers"_s, u"frmConnectionList"_s}));
  }

  // A document opened from outside (file association, second start) that is
  // an NZB file becomes a download list, and the user is told which.
  void anOpenedNzbBecomesADownloadList() {
    TFakePrompt prompt;
    THelpMessageManager::Instance().SetRunner([](TfrmHelpMessage& page) { page.reject(); });
    const QString nzb = TTestEnvironment::Home() + u"/Posted files.nzb"_s;
    QFile::remove(nzb);
    QVERIFY(QFile::copy(TestDataPath(u"binaries/nzb/plain.nzb"_s), nzb));
    QTimer poll;
    TStartup::TOptions options;
    options.runSetup = [] { return false; };
    options.onReady = [&](TfrmTabForm& window) {
      window.HandleOpenCommands({u"[Open(\""_s + nzb + u"\")]"_s});
      QObject::connect(&poll, &QTimer::timeout, qApp, [&prompt] {
        if (!prompt.calls.isEmpty()) QCoreApplication::quit();
      });
      poll.start(20);
    };
    QCOMPARE(TStartup::Run(*qApp, options), 0);
    QCOMPARE(prompt.Log().value(0), u"information: The download list \"Posted files\" was created."_s);
    QVERIFY(QFileInfo(Paths().downloadListsDir + u"Posted files.cue"_s).size() > 0);
  }

 private:
  static QString WithoutTrailingSlashForTest(QString dir) {
    if (dir.endsWith(u'/')) dir.chop(1);
    return dir;
  }
};

int main(int argc, char** argv) {
  TTestEnvironment environment;
  QApplication app(argc, argv);
  TStartupTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "StartupTest.moc"
