// The local channel: a second start hands its documents to the running
// instance, requests wait for the main window, and a test client drives the
// window through the automation requests.

#include "ShellTestSupport.h"

#include "app/Settings.h"
#include "shell/Automation.h"
#include "shell/LocalChannel.h"
#include "shell/OpenRequest.h"
#include "shell/Startup.h"
#include "shell/TabForm.h"
#include "support/TempDir.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <memory>

using namespace Qt::StringLiterals;

class TLocalChannelTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void secondStartHandsOverItsFiles();
  void requestsWaitForTheMainWindow();
  void staleSocketIsReplaced();
  void channelIsPrivateAndGuarded();
  void automationDrivesTheWindow();
  void argumentsBecomeOpenRequests();

 private:
  std::unique_ptr<TTempDir> fDir;
  QString fName;
};

void TLocalChannelTest::init() {
  fDir = std::make_unique<TTempDir>();
  fName = fDir->Path() + u"channel"_s;
  Settings() = TSettings();
}

void TLocalChannelTest::cleanup() { fDir.reset(); }

void TLocalChannelTest::secondStartHandsOverItsFiles() {
  TLocalChannel running;
  QVERIFY(running.Listen(fName));
  QStringList received;
  running.SetExecuteHandler([&](const QStringList& commands) { received += PathsOfOpenCommands(commands); });

  // The second start blocks while it waits for the answers, so it runs on a
  // thread of its own while this one serves the channel.
  TLocalChannel::THandOver result = TLocalChannel::HANDOVER_NOT_RUNNING;
  const QStringList requests{MakeOpenCommand(u"/d/a b.nzb"_s) + MakeOpenCommand(u"/d/c.nzb"_s),
                             MakeOpenCommand(u"/d/ü.nzb"_s)};
  std::unique_ptr<QThread> second(QThread::create([&] { result = TLocalChannel::HandOver(fName, requests); }));
  second->start();
  QTRY_VERIFY(second->isFinished());
  QCOMPARE(result, TLocalChannel::HANDOVER_DELIVERED);
  QCOMPARE(received, (QStringList{u"/d/a b.nzb"_s, u"/d/c.nzb"_s, u"/d/ü.nzb"_s}));

  running.Close();
  QCOMPARE(TLocalChannel::HandOver(fName, requests, 500), TLocalChannel::HANDOVER_NOT_RUNNING);
}

void TLocalChannelTest::requestsWaitForTheMainWindow() {
  TLocalChannel channel;
  QVERIFY(channel.Listen(fName));
  channel.QueueExecute(MakeOpenCommand(u"/own/arg.nzb"_s));
  TChannelClient client(fName);
  QVERIFY(client.Connected());
  client.Send(TLocalChannel::FRAME_EXECUTE, MakeOpenCommand(u"/later.nzb"_s).toUtf8());
  QCOMPARE(client.Next().first, quint32(TLocalChannel::FRAME_SUCCESS));
  QCOMPARE(channel.PendingCommandCount(), 2);

  QStringList received;
  channel.SetExecuteHandler([&](const QStringList& commands) { received += PathsOfOpenCommands(commands); });
  QCOMPARE(received, (QStringList{u"/own/arg.nzb"_s, u"/later.nzb"_s}));
  QCOMPARE(channel.PendingCommandCount(), 0);
}

void TLocalChannelTest::staleSocketIsReplaced() {
  // A socket file left behind by a crashed instance: nobody answers on it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  QVERIFY(fd >= 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(fName);
  qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
  QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);
  QVERIFY(QFileInfo::exists(fName));

  QCOMPARE(TLocalChannel::HandOver(fName, {MakeOpenCommand(u"/a.nzb"_s)}, 500), TLocalChannel::HANDOVER_NOT_RUNNING);
  TLocalChannel channel;
  QVERIFY(channel.Listen(fName));
}

void TLocalChannelTest::channelIsPrivateAndGuarded() {
  TLocalChannel channel;
  QVERIFY(channel.Listen(fName));
  const QFile::Permissions others =
      QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
  QCOMPARE(QFileInfo(channel.ServerName()).permissions() & others, QFile::Permissions());

  // A frame that announces more than the channel takes ends the connection.
  TChannelClient client(fName);
  QVERIFY(client.Connected());
  QByteArray header = TLocalChannel::EncodeFrame(TLocalChannel::FRAME_EXECUTE);
  header[4] = header[5] = header[6] = header[7] = '\x7f';
  client.Socket().write(header);
  client.Socket().flush();
  QTRY_COMPARE(client.Socket().state(), QLocalSocket::UnconnectedState);
}

void TLocalChannelTest::automationDrivesTheWindow() {
  TFakePrompt prompt;
  TfrmTabForm window;
  window.setWindowTitle(QApplication::applicationDisplayName());
  window.show();
  TLocalChannel channel;
  QVERIFY(channel.Listen(fName));
  connect(&channel, &TLocalChannel::Request, window.Automation(), &TAutomation::HandleRequest);
  window.Automation()->SetKeepAliveInterval(20);

  QDialog dialog;
  dialog.setObjectName(u"frmProbe"_s);
  auto* layout = new QVBoxLayout(&dialog);
  auto* edit = new QLineEdit(&dialog);
  edit->setObjectName(u"edtName"_s);
  auto* combo = new QComboBox(&dialog);
  combo->setObjectName(u"cmbKind"_s);
  combo->addItems({u"Alpha"_s, u"Beta"_s});
  auto* go = new QPushButton(u"Go"_s, &dialog);
  go->setObjectName(u"btnGo"_s);
  auto* off = new QPushButton(u"Off"_s, &dialog);
  off->setObjectName(u"btnOff"_s);
  off->setEnabled(false);
  for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(combo), static_cast<QWidget*>(go),
                     static_cast<QWidget*>(off)})
    layout->addWidget(w);
  int clicks = 0;
  connect(go, &QPushButton::clicked, this, [&] { ++clicks; });
  dialog.show();

  TChannelClient client(fName);
  QVERIFY(client.Connected());
  const quint32 ok = TAutomation::AUTOMATION_SUCCESS, failed = TAutomation::AUTOMATION_FAILURE;
  QCOMPARE(client.Ask(TAutomation::AUTOMATION_REGISTER, "tester"), ok);
  QCOMPARE(window.windowTitle(), TAutomation::RegisteredCaption());
  QCOMPARE(client.Next(true).first, quint32(TAutomation::AUTOMATION_KEEPALIVE));

  const struct {
    quint32 kind;
    QByteArray payload;
    quint32 answer;
  } kRequests[] = {
      {TAutomation::AUTOMATION_CLICK, "btnGo", ok},
      {TAutomation::AUTOMATION_CLICK, "btnOff", failed},
      {TAutomation::AUTOMATION_CLICK, "btnMissing", failed},
      {TAutomation::AUTOMATION_SET_TEXT, "edtName\tHello world", ok},
      {TAutomation::AUTOMATION_SET_TEXT, "cmbKind\tBeta", ok},
      {TAutomation::AUTOMATION_SET_TEXT, "cmbKind\tGamma", failed},
      {TAutomation::AUTOMATION_SET_TEXT, "edtName", failed},
      {TAutomation::AUTOMATION_SET_TEXT, "btnGo\tx", failed},
      {TAutomation::AUTOMATION_QUERY_0, "", ok},
      {TAutomation::AUTOMATION_RETRIEVE_WIZARD, "", ok},
      {9999, "", failed},
  };
  for (const auto& r : kRequests) QCOMPARE(client.Ask(r.kind, r.payload), r.answer);
  QTRY_COMPARE(clicks, 1);
  QCOMPARE(edit->text(), u"Hello world"_s);
  QCOMPARE(combo->currentText(), u"Beta"_s);

  // Menu commands are reached by their action names as well.
  QCOMPARE(client.Ask(TAutomation::AUTOMATION_CLICK, "actResetConfirmations"), ok);
  QTRY_VERIFY(!prompt.calls.isEmpty());
  QCOMPARE(prompt.calls.first().text, u"All confirmation requesters will be enabled again. Continue?"_s);

  // Only the registered client unregisters; a client that goes away counts too.
  TChannelClient other(fName);
  QCOMPARE(other.Ask(TAutomation::AUTOMATION_REGISTER), failed);
  QCOMPARE(client.Ask(TAutomation::AUTOMATION_REGISTER), ok);
  QCOMPARE(window.windowTitle(), QApplication::applicationDisplayName());
  QTRY_VERIFY(!window.Automation()->IsKeepAliveRunning());
  QCOMPARE(other.Ask(TAutomation::AUTOMATION_REGISTER, "again"), ok);
  QCOMPARE(window.windowTitle(), TAutomation::RegisteredCaption());
  other.Socket().disconnectFromServer();
  QTRY_COMPARE(window.windowTitle(), QApplication::applicationDisplayName());
  QVERIFY(!window.Automation()->IsRegistered());
}

void TLocalChannelTest::argumentsBecomeOpenRequests() {
  const QStringList arguments{u"korvel"_s,       u"-forcesetup"_s,         u"rel/a.nzb"_s,
                              u"/abs/b c.nzb"_s, u"file:///x/y%20z.nzb"_s, u"-style=fusion"_s};
  QCOMPARE(TStartup::OpenRequestsFromArguments(arguments),
           (QStringList{MakeOpenCommand(QDir::currentPath() + u"/rel/a.nzb"_s), MakeOpenCommand(u"/abs/b c.nzb"_s),
                        MakeOpenCommand(u"/x/y z.nzb"_s)}));
}

KORVEL_QTEST_MAIN(TLocalChannelTest)
#include "LocalChannelTest.moc"
