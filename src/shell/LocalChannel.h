#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

#include <QLocalSocket>

class QLocalServer;

// The program's local channel: a second start hands its files to the running
// instance here, and test clients drive the window through it. Only
// processes of the same user may connect.
//
// Every message is a frame: kind (32-bit little-endian), payload length
// (32-bit little-endian), payload. Execute requests carry the text of a
// file-association request ("[Open("path")]" commands); the running instance
// answers every frame, 9025 for success and 9026 for failure.
class TLocalChannel : public QObject {
  Q_OBJECT
 public:
  enum TFrameKind : quint32 {
    FRAME_EXECUTE = 1,
    FRAME_SUCCESS = 9025,
    FRAME_FAILURE = 9026,
  };
  static constexpr int kMaxPayload = 1 << 20;

  enum THandOver { HANDOVER_NOT_RUNNING, HANDOVER_DELIVERED, HANDOVER_FAILED };

  explicit TLocalChannel(QObject* parent = nullptr);
  ~TLocalChannel() override;

  // The name of this user's channel (a socket in the runtime directory).
  static QString DefaultServerName();

  // Client side of a second start: delivers the requests to the running
  // instance and waits for its answers. Blocking; for use before the event loop.
  static THandOver HandOver(const QString& serverName, const QStringList& requests, int timeoutMs = 5000);

  // Server side: claims the name (clearing a stale socket) and accepts clients.
  bool Listen(const QString& serverName);
  void Close();
  bool IsListening() const;
  QString ServerName() const;

  // Execute requests are split into commands and held until a handler is
  // installed (the main window installs it once it exists).
  using TExecuteHandler = std::function<void(const QStringList& commands)>;
  void SetExecuteHandler(TExecuteHandler handler);
  // A request of this process itself (its own file arguments).
  void QueueExecute(const QString& request);
  int PendingCommandCount() const { return static_cast<int>(fPending.size()); }

  // Frame helpers, shared with test clients.
  static QByteArray EncodeFrame(quint32 kind, QByteArrayView payload = {});
  // Takes one complete frame off the front of buffer; false when none is
  // complete yet. A length beyond kMaxPayload sets bad.
  static bool TakeFrame(QByteArray& buffer, quint32& kind, QByteArray& payload, bool& bad);
  // Sends a frame to a connected client.
  static void Reply(QLocalSocket* peer, quint32 kind, QByteArrayView payload = {});

  // True when the peer of a connected local socket runs as this user.
  static bool IsSameUser(QLocalSocket* peer);

 signals:
  // A frame other than an execute request (automation), from a client.
  void Request(QLocalSocket* peer, quint32 kind, const QByteArray& payload);

 private:
  void Accept();
  void Read(QLocalSocket* peer);
  void Deliver(const QStringList& commands);

  QLocalServer* fServer;
  TExecuteHandler fHandler;
  QStringList fPending;
};
