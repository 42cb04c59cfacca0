#include "servers/FakeNntpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

// ---------------------------------------------------------------------------
// Reply builder

TFakeReply& TFakeReply::Add(TFakeAction action) {
  std::lock_guard lock(*fMutex);
  fActions.append(std::move(action));
  return *this;
}

TFakeReply& TFakeReply::Send(QByteArrayView bytes) { return Add({TFakeAction::SEND, bytes.toByteArray(), 0, 0}); }

TFakeReply& TFakeReply::Line(QByteArrayView line) {
  return Add({TFakeAction::SEND, line.toByteArray() + "\r\n", 0, 0});
}

TFakeReply& TFakeReply::MultiLine(QByteArrayView status, const QList<QByteArray>& lines) {
  QByteArray text = status.toByteArray() + "\r\n";
  for (const QByteArray& line : lines) {
    if (line.startsWith('.')) text += '.';
    text += line + "\r\n";
  }
  text += ".\r\n";
  return Add({TFakeAction::SEND, text, 0, 0});
}

TFakeReply& TFakeReply::SendSlowly(QByteArrayView bytes, qsizetype chunk, int intervalMs) {
  return Add({TFakeAction::SEND_SLOWLY, bytes.toByteArray(), chunk < 1 ? 1 : chunk, intervalMs});
}

TFakeReply& TFakeReply::Pause(int ms) { return Add({TFakeAction::PAUSE, {}, 0, ms}); }
TFakeReply& TFakeReply::Close() { return Add({TFakeAction::CLOSE, {}, 0, 0}); }
TFakeReply& TFakeReply::StartTls() { return Add({TFakeAction::START_TLS, {}, 0, 0}); }
TFakeReply& TFakeReply::ReadArticle() { return Add({TFakeAction::READ_ARTICLE, {}, 0, 0}); }

TFakeReply& TFakeReply::Times(int count) {
  std::lock_guard lock(*fMutex);
  fRemaining = count;
  return *this;
}

// ---------------------------------------------------------------------------
// One client connection, on the server thread

class TFakeConnection : public QObject {
 public:
  TFakeConnection(QObject* parent, TFakeNntpServer* owner, QSslSocket* socket, QList<TFakeAction> banner)
      : QObject(parent), fOwner(owner), fSocket(socket), fQueue(std::move(banner)) {
    socket->setParent(this);
    connect(socket, &QIODevice::readyRead, this, &TFakeConnection::Pump);
    connect(socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
    connect(socket, &QSslSocket::encrypted, this, [this] {
      fWaitingTls = false;
      Pump();
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this] {
      if (fSocket->state() == QAbstractSocket::UnconnectedState) deleteLater();
    });
    QMetaObject::invokeMethod(this, &TFakeConnection::Pump, Qt::QueuedConnection);
  }

 private:
  void Pump() {
    while (!fBusy && !fClosed) {
      if (fSocket->bytesAvailable() > 0) fIn += fSocket->readAll();
      if (fWaitingTls) return;
      if (fReadingArticle) {
        qsizetype end = -1;
        if (fIn.startsWith(".\r\n"))
          end = 0;
        else if (const qsizetype at = fIn.indexOf("\r\n.\r\n"); at >= 0)
          end = at + 2;
        if (end < 0) return;
        {
          std::lock_guard lock(fOwner->fMutex);
          fOwner->fArticles.append(fIn.left(end));
        }
        fIn.remove(0, end + 3);
        fReadingArticle = false;
        continue;
      }
      if (!fQueue.isEmpty()) {
        Run(fQueue.takeFirst());
        continue;
      }
      const qsizetype lf = fIn.indexOf('\n');
      if (lf < 0) return;
      QByteArray command = fIn.left(lf);
      fIn.remove(0, lf + 1);
      if (command.endsWith('\r')) command.chop(1);
      std::lock_guard lock(fOwner->fMutex);
      fOwner->fCommands.append(command);
      if (const TFakeReply* reply = fOwner->Match(command)) fQueue = reply->fActions;
    }
  }

  void Run(const TFakeAction& action) {
    switch (action.kind) {
      case TFakeAction::SEND:
        fSocket->write(action.data);
        break;
      case TFakeAction::SEND_SLOWLY:
        fBusy = true;
        fSlowData = action.data;
        SendPiece(action.chunk, action.intervalMs);
        break;
      case TFakeAction::PAUSE:
        fBusy = true;
        QTimer::singleShot(action.intervalMs, this, [this] {
          fBusy = false;
          Pump();
        });
        break;
      case TFakeAction::CLOSE:
        fClosed = true;
        fSocket->disconnectFromHost();
        break;
      case TFakeAction::START_TLS:
        fWaitingTls = true;
        fSocket->flush();
        fSocket->startServerEncryption();
        break;
      case TFakeAction::READ_ARTICLE:
        fReadingArticle = true;
        break;
    }
  }

  void SendPiece(qsizetype chunk, int intervalMs) {
    if (fClosed || fSocket->state() != QAbstractSocket::ConnectedState) return;
    fSocket->write(fSlowData.left(chunk));
    fSlowData.remove(0, std::min(chunk, fSlowData.size()));
    if (fSlowData.isEmpty()) {
      fBusy = false;
      QMetaObject::invokeMethod(this, &TFakeConnection::Pump, Qt::QueuedConnection);
      return;
    }
    QTimer::singleShot(intervalMs, this, [this, chunk, intervalMs] { SendPiece(chunk, intervalMs); });
  }

  TFakeNntpServer* fOwner;
  QSslSocket* fSocket;
  QList<TFakeAction> fQueue;
  QByteArray fIn;
  QByteArray fSlowData;
  bool fBusy = false;
  bool fClosed = false;
  bool fReadingArticle = false;
  bool fWaitingTls = false;
};

// ---------------------------------------------------------------------------
// The listener, on the server thread

class TFakeServerWorker : public QTcpServer {
 public:
  TFakeServerWorker(TFakeNntpServer* owner, bool implicitTls) : fOwner(owner), fImplicitTls(implicitTls) {}

  bool LoadCertificate() {
    QFile cert(fOwner->fCertificatePath);
    QFile key(fOwner->fKeyPath);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) return false;
    fConfig = QSslConfiguration::defaultConfiguration();
    fConfig.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
    fConfig.setPrivateKey(QSslKey(&key, QSsl::Rsa, QSsl::Pem));
    fConfig.setPeerVerifyMode(QSslSocket::VerifyNone);
    return !fConfig.localCertificate().isNull() && !fConfig.privateKey().isNull();
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QSslSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    socket->setSslConfiguration(fConfig);
    QList<TFakeAction> banner;
    {
      std::lock_guard lock(fOwner->fMutex);
      ++fOwner->fConnections;
      banner = fOwner->fBanner.fActions;
    }
    new TFakeConnection(this, fOwner, socket, banner);
    if (fImplicitTls) socket->startServerEncryption();
  }

 private:
  TFakeNntpServer* fOwner;
  bool fImplicitTls;
  QSslConfiguration fConfig;
};

// ---------------------------------------------------------------------------
// Server

TFakeNntpServer::TFakeNntpServer()
    : fBanner(&fMutex, {}),
      fCertificatePath(QStringLiteral(KORVEL_TEST_DATA_DIR "/nntp/server.crt")),
      fKeyPath(QStringLiteral(KORVEL_TEST_DATA_DIR "/nntp/server.key")) {
  fBanner.fActions.append({TFakeAction::SEND, "200 Korvel test server ready (posting ok)\r\n", 0, 0});
  fDefaults.push_back(TFakeReply(&fMutex, "QUIT"));
  fDefaults.back().Line("205 Bye").Close();
  fDefaults.push_back(TFakeReply(&fMutex, "MODE READER"));
  fDefaults.back().Line("200 Reader mode");
  fDefaults.push_back(TFakeReply(&fMutex, ""));
  fDefaults.back().Line("500 What?");
}

TFakeNntpServer::~TFakeNntpServer() {
  if (!fThread) return;
  // Everything of the server thread is deleted on that thread.
  QMetaObject::invokeMethod(
      fWorker,
      [this] {
        delete fWorker;
        fWorker = nullptr;
        QThread::currentThread()->quit();
      },
      Qt::QueuedConnection);
  fThread->wait();
  delete fThread;
}

bool TFakeNntpServer::Start(TTls tls) {
  if (fThread) return false;
  fThread = new QThread;
  fWorker = new TFakeServerWorker(this, tls == IMPLICIT_TLS);
  fWorker->moveToThread(fThread);
  fThread->start();
  bool listening = false;
  QMetaObject::invokeMethod(
      fWorker,
      [this, &listening] {
        listening = fWorker->LoadCertificate() && fWorker->listen(QHostAddress::LocalHost, 0);
        fPort = listening ? fWorker->serverPort() : 0;
      },
      Qt::BlockingQueuedConnection);
  return listening;
}

TFakeReply& TFakeNntpServer::Banner() {
  std::lock_guard lock(fMutex);
  if (!fBannerSet) {
    fBanner.fActions.clear();
    fBannerSet = true;
  }
  return fBanner;
}

TFakeReply& TFakeNntpServer::On(QByteArrayView commandPrefix) {
  std::lock_guard lock(fMutex);
  fRules.push_back(TFakeReply(&fMutex, commandPrefix.toByteArray()));
  return fRules.back();
}

void TFakeNntpServer::EnableStartTls() { On("STARTTLS").Line("382 Begin TLS negotiation now").StartTls(); }

void TFakeNntpServer::SetCertificate(const QString& certificatePath, const QString& keyPath) {
  std::lock_guard lock(fMutex);
  fCertificatePath = certificatePath;
  fKeyPath = keyPath;
}

const TFakeReply* TFakeNntpServer::Match(const QByteArray& command) {
  for (std::list<TFakeReply>* rules : {&fRules, &fDefaults}) {
    for (TFakeReply& rule : *rules) {
      if (rule.fRemaining == 0 || command.size() < rule.fPrefix.size()) continue;
      if (qstrnicmp(command.constData(), rule.fPrefix.constData(), size_t(rule.fPrefix.size())) != 0) continue;
      if (rule.fRemaining > 0) --rule.fRemaining;
      return &rule;
    }
  }
  return nullptr;
}

QList<QByteArray> TFakeNntpServer::Commands() const {
  std::lock_guard lock(fMutex);
  return fCommands;
}

QList<QByteArray> TFakeNntpServer::Articles() const {
  std::lock_guard lock(fMutex);
  return fArticles;
}

int TFakeNntpServer::Connections() const {
  std::lock_guard lock(fMutex);
  return fConnections;
}

bool TFakeNntpServer::WaitForCommands(int n, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    {
      std::lock_guard lock(fMutex);
      if (fCommands.size() >= n) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}
