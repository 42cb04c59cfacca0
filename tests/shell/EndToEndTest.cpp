// The program itself: a first start serves the local channel, a second start
// with a file hands it over and ends, and a test client drives the window.

#include "ShellTestSupport.h"

#include "shell/Automation.h"
#include "shell/LocalChannel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;

class TEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void secondStartHandsItsFileToTheFirst();

 private:
  static void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
  }
};

void TEndToEndTest::secondStartHandsItsFileToTheFirst() {
  const QString home = TTestEnvironment::Home();
  const QString data = home + u"/KorvelData/"_s;
  WriteFile(home + u"/Documents/Korvel.ini"_s, "[Setup]\nUserDataPath=" + QFile::encodeName(data) + "\n");
  WriteFile(data + u"_Settings.ini"_s,
            "[Application]\nName=Korvel\n[Confirmation]\nAskTerminate=0\n[Setup]\ngLogLevel=2\n"
            "[HelpMessages]\nGlobal.Enabled=0\n");
  const QString document = home + u"/Downloads/notes.txt"_s;
  WriteFile(document, "not an NZB file");

  QProcess first;
  first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  first.start(QStringLiteral(KORVEL_EXECUTABLE), {});
  QVERIFY(first.waitForStarted());
  const QString channel = TLocalChannel::DefaultServerName();
  std::unique_ptr<TChannelClient> client;
  QElapsedTimer clock;
  clock.start();
  while (!client || !client->Connected()) {
    QVERIFY2(clock.elapsed() < 30000, "the first instance never opened its channel");
    QVERIFY(first.state() == QProcess::Running);
    QTest::qWait(50);
    client = std::make_unique<TChannelClient>(channel, 200);
  }
  QCOMPARE(client->Ask(TAutomation::AUTOMATION_REGISTER, "end-to-end"), quint32(TAutomation::AUTOMATION_SUCCESS));

  QProcess second;
  second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  second.start(QStringLiteral(KORVEL_EXECUTABLE), {document});
  QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 15000);
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);

  // The first instance got the file: not an NZB file, so it says so in a box
  // that the client can close by its button.
  quint32 answer = 0;
  for (clock.restart(); answer != TAutomation::AUTOMATION_SUCCESS && clock.elapsed() < 15000;) {
    answer = client->Ask(TAutomation::AUTOMATION_CLICK, "btnOk");
    if (answer != TAutomation::AUTOMATION_SUCCESS) QTest::qWait(100);
  }
  QCOMPARE(answer, quint32(TAutomation::AUTOMATION_SUCCESS));
  QFile log(home + u"/Documents/korvel_errorlog.sil"_s);
  QVERIFY(log.open(QIODevice::ReadOnly));
  const QByteArray text = log.readAll();
  QVERIFY(text.contains("Request received: [Open(\"" + QFile::encodeName(document) + "\")]"));
  QVERIFY(text.contains("[Error] The file cannot be imported."));

  // The full menu is there; quitting from it ends the program normally.
  QCOMPARE(client->Ask(TAutomation::AUTOMATION_CLICK, "actQuit"), quint32(TAutomation::AUTOMATION_SUCCESS));
  QTRY_COMPARE_WITH_TIMEOUT(first.state(), QProcess::NotRunning, 15000);
  QCOMPARE(first.exitStatus(), QProcess::NormalExit);
  QCOMPARE(first.exitCode(), 0);
  QVERIFY(!QFile::exists(channel));
}

KORVEL_QTEST_MAIN(TEndToEndTest)
#include "EndToEndTest.moc"
