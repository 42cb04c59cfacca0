#include "shell/LocalChannel.h"

#include "app/LittleEndian.h"
#include "app/Logger.h"
#include "shell/OpenRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int kHeaderSize = 8;
const char* const kBufferProperty = "korvelChannelBuffer";
}  // namespace

TLocalChannel::TLocalChannel(QObject* parent) : QObject(parent), fServer(new QLocalServer(this)) {
  connect(fServer, &QLocalServer::newConnection, this, &TLocalChannel::Accept);
}

TLocalChannel::~TLocalChannel() { Close(); }

QString TLocalChannel::DefaultServerName() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  return dir + u"/korvel-"_s + QString::number(::getuid()) + u".channel"_s;
}

QByteArray TLocalChannel::EncodeFrame(quint32 kind, QByteArrayView payload) {
  QByteArray frame(kHeaderSize, '\0');
  le::Put32(reinterpret_cast<uchar*>(frame.data()), kind);
  le::Put32(reinterpret_cast<uchar*>(frame.data()) + 4, static_cast<quint32>(payload.size()));
  frame.append(payload);
  return frame;
}

bool TLocalChannel::TakeFrame(QByteArray& buffer, quint32& kind, QByteArray& payload, bool& bad) {
  bad = false;
  if (buffer.size() < kHeaderSize) return false;
  const auto* bytes = reinterpret_cast<const uchar*>(buffer.constData());
  const quint32 length = le::Get32(bytes + 4);
  if (length > static_cast<quint32>(kMaxPayload)) {
    bad = true;
    return false;
  }
  if (buffer.size() < kHeaderSize + static_cast<qsizetype>(length)) return false;
  kind = le::Get32(bytes);
  payload = buffer.mid(kHeaderSize, length);
  buffer.remove(0, kHeaderSize + length);
  return true;
}

void TLocalChannel::Reply(QLocalSocket* peer, quint32 kind, QByteArrayView payload) {
  if (peer && peer->state() == QLocalSocket::ConnectedState) peer->write(EncodeFrame(kind, payload));
}

bool TLocalChannel::IsSameUser(QLocalSocket* peer) {
  if (!peer) return false;
  struct ucred credentials {};
  socklen_t size = sizeof(credentials);
  const auto fd = static_cast<int>(peer->socketDescriptor());
  if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
  return credentials.uid == ::getuid();
}

TLocalChannel::THandOver TLocalChannel::HandOver(const QString& serverName, const QStringList& requests,
                                                 int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(serverName);
  if (!socket.waitForConnected(qMin(timeoutMs, 1000))) return HANDOVER_NOT_RUNNING;
  LOG_METHOD("HandOver");
  // An empty request still tells the running instance to come to the front.
  const QStringList sent = requests.isEmpty() ? QStringList{QString()} : requests;
  for (const QString& request : sent) socket.write(EncodeFrame(FRAME_EXECUTE, request.toUtf8()));
  QElapsedTimer clock;
  clock.start();
  QByteArray buffer;
  int answers = 0;
  while (answers < sent.size()) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0) break;
    if (socket.bytesToWrite() > 0)
      socket.waitForBytesWritten(static_cast<int>(left));
    else if (!socket.waitForReadyRead(static_cast<int>(left)))
      break;
    buffer.append(socket.readAll());
    quint32 kind = 0;
    QByteArray payload;
    bool bad = false;
    while (TakeFrame(buffer, kind, payload, bad))
      if (kind == FRAME_SUCCESS) ++answers;
    if (bad) break;
  }
  socket.disconnectFromServer();
  if (answers == sent.size()) return HANDOVER_DELIVERED;
  LogError(u"The running instance did not answer on "_s + serverName);
  return HANDOVER_FAILED;
}

bool TLocalChannel::Listen(const QString& serverName) {
  LOG_METHOD("Listen");
  Close();
  fServer->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket left by a crashed instance would block the name; HandOver has
  // already found that nobody answers on it.
  QLocalServer::removeServer(serverName);
  if (!fServer->listen(serverName)) {
    LogError(u"Cannot listen on "_s + serverName + u": "_s + fServer->errorString());
    return false;
  }
  return true;
}

void TLocalChannel::Close() {
  if (fServer->isListening()) fServer->close();
}

bool TLocalChannel::IsListening() const { return fServer->isListening(); }
QString TLocalChannel::ServerName() const { return fServer->fullServerName(); }

void TLocalChannel::Accept() {
  while (QLocalSocket* peer = fServer->nextPendingConnection()) {
    if (!IsSameUser(peer)) {
      LogWarning("A process of another user was refused on the local channel");
      peer->abort();
      peer->deleteLater();
      continue;
    }
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] { Read(peer); });
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    if (peer->bytesAvailable() > 0) Read(peer);
  }
}

void TLocalChannel::Read(QLocalSocket* peer) {
  QByteArray buffer = peer->property(kBufferProperty).toByteArray() + peer->readAll();
  quint32 kind = 0;
  QByteArray payload;
  bool bad = false;
  while (TakeFrame(buffer, kind, payload, bad)) {
    if (kind == FRAME_EXECUTE) {
      const QString text = QString::fromUtf8(payload);
      LogMessage(u"Request received: "_s + text);
      Reply(peer, FRAME_SUCCESS);
      Deliver(SplitOpenRequest(text));
    } else {
      emit Request(peer, kind, payload);
    }
    if (peer->state() != QLocalSocket::ConnectedState) return;
  }
  if (bad) {
    LogWarning("Oversized frame on the local channel; connection dropped");
    peer->abort();
    return;
  }
  peer->setProperty(kBufferProperty, buffer);
}

void TLocalChannel::SetExecuteHandler(TExecuteHandler handler) {
  fHandler = std::move(handler);
  if (fHandler && !fPending.isEmpty()) {
    const QStringList held = std::exchange(fPending, {});
    fHandler(held);
  }
}

void TLocalChannel::QueueExecute(const QString& request) { Deliver(SplitOpenRequest(request)); }

void TLocalChannel::Deliver(const QStringList& commands) {
  if (fHandler)
    fHandler(commands);
  else
    fPending.append(commands);
}
