#pragma once

#include "app/UserPrompt.h"
#include "shell/TabPage.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QList>
#include <QLocalSocket>
#include <QStringList>
#include <QTest>

#include <functional>
#include <optional>

class TShellMessage;

// Answers the program's message boxes and task dialogs and records them.
class TFakePrompt : public TUserPrompt::THandler {
 public:
  struct TCall {
    QString kind;  // "information", "warning", "error", "confirm", "question", "task"
    QString text;
  };

  TFakePrompt() : fPrevious(TUserPrompt::Handler()) { TUserPrompt::SetHandler(this); }
  ~TFakePrompt() override { TUserPrompt::SetHandler(fPrevious); }

  void Information(const QString& text, const QString&) override {
    calls.append({QStringLiteral("information"), text});
  }
  void Warning(const QString& text, const QString&) override { calls.append({QStringLiteral("warning"), text}); }
  void Error(const QString& text, const QString&) override { calls.append({QStringLiteral("error"), text}); }
  bool Confirm(const QString& text, const QString&) override {
    calls.append({QStringLiteral("confirm"), text});
    return confirmAnswer;
  }
  TUserPrompt::TAnswer Question(const QString& text, const QString&) override {
    calls.append({QStringLiteral("question"), text});
    return questionAnswer;
  }
  int Task(TUserPrompt::TTask& task) override {
    calls.append({QStringLiteral("task"), task.text});
    lastTask = task;
    if (taskDropDown >= 0) task.dropDownIndex = taskDropDown;
    return taskResult;
  }

  // "kind: text" of every call, in order.
  QStringList Log() const {
    QStringList log;
    for (const TCall& c : calls) log.append(c.kind + QStringLiteral(": ") + c.text);
    return log;
  }

  QList<TCall> calls;
  bool confirmAnswer = true;
  TUserPrompt::TAnswer questionAnswer = TUserPrompt::ANSWER_YES;
  int taskResult = TUserPrompt::RESULT_YES;
  int taskDropDown = -1;  // the drop-down entry chosen; -1 leaves it
  TUserPrompt::TTask lastTask;

 private:
  TUserPrompt::THandler* fPrevious;
};

// A tab form whose answers a test sets, and which records what it is told.
class TTestPage : public TTabPage {
  Q_OBJECT
 public:
  explicit TTestPage(const QString& name, QWidget* parent = nullptr) : TTabPage(parent) { setObjectName(name); }

  QList<QMenu*> TabMenus() const override { return menus; }

  bool idle = true;
  bool agreeToClose = true;
  // While asked to close, runs an event loop this long, as a question would.
  int askMsOnClose = 0;
  // Answers the last-headers query when set.
  std::optional<bool> lastHeadersAvailable;
  QList<QMenu*> menus;
  // Offsets of the messages received, in order.
  QList<int> received;
  // Called for each message, after it was recorded.
  std::function<void(int offset)> onMessage;

 protected:
  void TabMessage(TShellMessage& message) override;
};

// A client of the program's local channel that sends frames and collects
// the answers (the event loop runs while it waits).
class TChannelClient {
 public:
  explicit TChannelClient(const QString& name, int timeoutMs = 2000);
  bool Connected() const { return fSocket.state() == QLocalSocket::ConnectedState; }
  void Send(quint32 kind, const QByteArray& payload = {});
  // The next frame that is not a keep-alive (with keepAlive, the next one);
  // kind 0 when none came in time.
  std::pair<quint32, QByteArray> Next(bool keepAlive = false, int timeoutMs = 5000);
  quint32 Ask(quint32 kind, const QByteArray& payload = {}) {
    Send(kind, payload);
    return Next().first;
  }
  QLocalSocket& Socket() { return fSocket; }

 private:
  QLocalSocket fSocket;
  QByteArray fBuffer;
};

// main() of a form test: a private HOME, the application, the test object.
#define KORVEL_QTEST_MAIN(TestClass)                                    \
  int main(int argc, char** argv) {                                     \
    TTestEnvironment environment;                                       \
    QApplication app(argc, argv);                                       \
    app.setApplicationDisplayName(QStringLiteral("Korvel Newsreader")); \
    TestClass test;                                                     \
    return QTest::qExec(&test, argc, argv);                             \
  }
