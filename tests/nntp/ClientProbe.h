#pragma once

#include "nntp/MyNntpCli.h"
#include "servers/FakeNntpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

// One delivered completion as a test saw it.
struct TDone {
  TNntpRequest kind;
  quint16 code;
  bool viaOnError;
  TNntpState state;
};

// Records every completion a client delivers (and its closes) and runs the
// event loop until the expected ones arrived.
class TClientProbe : public QObject {
 public:
  // With listenOnError, a TMyNntpCli's OnError is connected too.
  explicit TClientProbe(TNntpCli* client, bool listenOnError = false) : fClient(client) {
    connect(client, &TNntpCli::OnRequestDone, this, [this](TNntpCli*, TNntpRequest kind, quint16 code) {
      done.append({kind, code, false, fClient->State()});
    });
    connect(client, &TNntpCli::OnSessionClosed, this, [this](TNntpCli*, quint16) { ++closed; });
    connect(client, &TNntpCli::OnSessionConnected, this, [this](TNntpCli*, quint16) { ++connected; });
    if (auto* my = qobject_cast<TMyNntpCli*>(client); my && listenOnError) {
      connect(my, &TMyNntpCli::OnError, this, [this](TNntpCli*, TNntpRequest kind, quint16 code) {
        done.append({kind, code, true, fClient->State()});
      });
    }
  }

  // Runs the event loop until count completions in all arrived; false on time-out.
  bool WaitFor(int count = 1, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (done.size() < count && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done.size() >= count;
  }

  // Runs the event loop for a while, to see that nothing more arrives.
  static void Spin(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  const TDone& Last() const { return done.back(); }

  QList<TDone> done;
  int closed = 0;
  int connected = 0;

 private:
  TNntpCli* fClient;
};

// Points a client at 127.0.0.1:port.
inline void Aim(TNntpCli& client, quint16 port) {
  client.SetHost(QStringLiteral("127.0.0.1"));
  client.SetPort(QString::number(port));
}

// A started scripted server and a TMyNntpCli aimed at it.
struct TSession {
  TFakeNntpServer server;
  TMyNntpCli client;
  std::unique_ptr<TClientProbe> probe;

  explicit TSession(bool listenOnError = false) { probe = std::make_unique<TClientProbe>(&client, listenOnError); }
  // Starts the server and connects; true when nntpConnected arrived with 0.
  bool Open() {
    if (!server.Start()) return false;
    Aim(client, server.Port());
    if (!client.Connect() || !probe->WaitFor(1)) return false;
    return probe->Last().kind == nntpConnected && probe->Last().code == 0;
  }
  // Waits for the next completion after the ones seen so far.
  const TDone& Next() {
    const int want = probe->done.size() + 1;
    EXPECT_TRUE(probe->WaitFor(want)) << "no completion";
    return probe->done.back();
  }
};
