#pragma once

#include <QObject>
#include <QPointer>

#include <QLocalSocket>

class QTimer;
class QWidget;

// Lets a test client on the local channel drive the program: it registers,
// presses buttons and fills edit and combo boxes by their object names, and
// hears a keep-alive while registered. Requests are answered 9025 (success)
// or 9026 (failure or an unknown kind).
class TAutomation : public QObject {
  Q_OBJECT
 public:
  enum TRequest : quint32 {
    AUTOMATION_SUCCESS = 9025,
    AUTOMATION_FAILURE = 9026,
    AUTOMATION_REGISTER = 9027,   // non-empty payload registers, empty unregisters
    AUTOMATION_KEEPALIVE = 9028,  // sent to the registered client
    AUTOMATION_QUERY_0 = 9030,
    AUTOMATION_QUERY_1 = 9031,
    AUTOMATION_RETRIEVE_WIZARD = 9032,    // window of the newsgroup-list retrieval wizard
    AUTOMATION_NEW_GROUPS_DIALOG = 9033,  // window of the new-newsgroups dialog
    AUTOMATION_CLICK = 9036,              // payload: component name
    AUTOMATION_SET_TEXT = 9037,           // payload: component name, tab, text
  };
  static constexpr int kKeepAliveInterval = 2000;
  // Object names of the windows queried by 9032 and 9033.
  static constexpr char kRetrieveWizardName[] = "frmRetrieveNewsgroups";
  static constexpr char kNewGroupsDialogName[] = "frmNewNewsgroups";

  // window: the main window, whose caption tells whether a client is registered.
  explicit TAutomation(QWidget* window, QObject* parent = nullptr);

  static QString RegisteredCaption() { return QStringLiteral("TEST CLIENT REGISTERED"); }
  bool IsRegistered() const { return !fClient.isNull(); }
  bool IsKeepAliveRunning() const;
  void SetKeepAliveEnabled(bool enabled);
  void SetKeepAliveInterval(int ms);

 public slots:
  // A request from the channel; the answer goes back to the peer.
  void HandleRequest(QLocalSocket* peer, quint32 kind, const QByteArray& payload);

 private:
  bool Register(QLocalSocket* peer, bool on);
  void Unregister();
  void KeepAlive();
  bool Click(const QString& name);
  bool SetText(const QString& name, const QString& text);
  QString WindowHandle(const char* objectName) const;

  QWidget* fWindow;
  QPointer<QLocalSocket> fClient;
  QTimer* fKeepAlive;
};

// The visible widget named name: in the active modal dialog first, then in
// the other top-level windows; null when there is none.
QWidget* FindComponent(const QString& name);
