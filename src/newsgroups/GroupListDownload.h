#pragma once

#include "newsgroups/ActiveListSink.h"
#include "newsgroups/GroupListWriter.h"
#include "nntp/NewsServerEntry.h"
#include "nntp/NntpTypes.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>

class TMyNntpCli;
class TNntpCli;
class QTimer;

// Texts of the group list retrievals.
namespace grouplists {
inline constexpr char kConnectingToNewsServer[] = "Connecting to news server...";
inline constexpr char kLoggingIn[] = "Logging in on news server...";
inline constexpr char kRetrievingList[] = "Retrieving list of newsgroups...";
inline constexpr char kConnectingToServer[] = "Connecting to server...";
inline constexpr char kRequestingNewGroups[] = "Requesting new groups...";
inline constexpr char kListError[] =
    "There was an error while connecting or retrieving the list of newsgroups. You can try again now or at a later "
    "time.";
inline constexpr char kFileError[] =
    "There was an error creating the files to save the newsgroups to. Make sure you have enough free space on your "
    "hard drive and try again.";
inline constexpr char kLoginRejected[] =
    "Your login information was rejected by the server. Make sure your username and password are correct and try "
    "again.";
inline constexpr char kAuthenticationFailed[] =
    "Authentication failed. You possibly entered an invalid news server login or password.";
inline constexpr char kListIndexed[] = "The list of newsgroups has been correctly retrieved and indexed.";
inline constexpr char kErrorTitle[] = "Error!";
}  // namespace grouplists

// Fills a group list from a server: the full list ("LIST") into the server's
// main list, or the groups created since a date ("NEWGROUPS") into
// "newgroups.gnam"/".gdat" for the caller to merge. Event-driven: it lives on
// the thread that calls Start() and needs that thread's event loop.
//
// The reply streams straight into the files. The main list is replaced only
// by renaming complete files over it, after every write was checked and
// reached the disk, so an interrupted reply or a full disk leaves the old
// list as it was and never reports success.
class TGroupListDownload : public QObject {
  Q_OBJECT
 public:
  enum TMode { MODE_FULL_LIST, MODE_NEW_GROUPS };
  enum TResult {
    RESULT_NONE,
    RESULT_SUCCESS,
    RESULT_ERROR,           // connection or reply failed, or the user aborted the full list
    RESULT_FILE_ERROR,      // the files could not be created or written
    RESULT_LOGIN_REJECTED,  // AUTHINFO refused
    RESULT_AUTH_REQUIRED,   // the server answered 480 to the command
    RESULT_SERVER_ERROR,    // another refusal; ServerCode() tells which
    RESULT_CANCELLED,       // new groups: the user aborted or the command failed
  };

  static constexpr int kTimeoutSeconds = 30;
  static constexpr int kRetryDelayMs = 1000;

  TGroupListDownload(TMode mode, const TNewsServerEntry& server, const QString& serverDir,
                     QObject* parent = nullptr);
  ~TGroupListDownload() override;

  // New groups: the date of the last check (local time; an invalid one means now).
  void SetSince(const QDateTime& since) { fSince = since; }
  void SetTimeout(int seconds) { fTimeout = seconds; }
  // Pause before connecting again after a failed connection.
  void SetRetryDelay(int ms) { fRetryDelayMs = ms; }
  // At most one Progress signal per interval (it comes per piece of the reply).
  void SetProgressInterval(int ms) { fProgressIntervalMs = ms; }

  void Start();
  // The user's abort: closes the connection and removes the files being written.
  void Abort();

  TMode Mode() const { return fMode; }
  TResult Result() const { return fResult; }
  std::int64_t Count() const { return fWriter.Count(); }
  int ServerCode() const { return fServerCode; }
  int Retries() const { return fRetries; }
  // When the NEWGROUPS command was sent: the next check may start there.
  QDateTime RequestTime() const { return fRequestTime; }
  // Names the server sent that were too long for the names file.
  std::int64_t Skipped() const { return fWriter.Skipped(); }

  // The result page's texts.
  static QString ResultTitle(TResult result, std::int64_t count);
  static QString ResultText(TResult result, int serverCode);

 signals:
  void StatusChanged(const QString& text);
  // Groups received so far and the last name; one signal per piece of the
  // reply at most, and a last one when the reply ends.
  void Progress(qint64 count, const QByteArray& lastName);
  void Finished(int result, qint64 count, int serverCode);

 private:
  enum TPhase { PHASE_IDLE, PHASE_CONNECTING, PHASE_WAITING, PHASE_LOGIN, PHASE_COMMAND, PHASE_DONE };

  void Connect();
  void RequestDone(TNntpCli* sender, TNntpRequest kind, quint16 code);
  void Ready();
  void SendCommand();
  void CommandDone(quint16 code);
  void ConnectFailed();
  void Finish(TResult result);
  void QuitQuietly();
  void SetStatus(const char* text);
  void EmitProgress(bool force);
  QString FilesBase() const;

  TMode fMode;
  TNewsServerEntry fServer;
  QString fServerDir;
  QDateTime fSince;
  QDateTime fRequestTime;
  int fTimeout = kTimeoutSeconds;
  int fRetryDelayMs = kRetryDelayMs;
  int fProgressIntervalMs = 100;

  TMyNntpCli* fClient = nullptr;
  QTimer* fRetryTimer = nullptr;
  TGroupListWriter fWriter;
  TActiveListSink fSink;
  TPhase fPhase = PHASE_IDLE;
  TResult fResult = RESULT_NONE;
  int fServerCode = 0;
  int fRetries = 0;
  QElapsedTimer fSinceProgress;
};
