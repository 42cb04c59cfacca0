#include "newsgroups/GroupListDownload.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "newsgroups/GroupList.h"
#include "nntp/ConfigureNntpClient.h"
#include "nntp/MyNntpCli.h"

#include <QFile>
#include <QTimer>

using namespace Qt::StringLiterals;

TGroupListDownload::TGroupListDownload(TMode mode, const TNewsServerEntry& server, const QString& serverDir,
                                       QObject* parent)
    : QObject(parent),
      fMode(mode),
      fServer(server),
      fServerDir(WithTrailingSlash(serverDir)),
      fSink(fWriter, mode == MODE_FULL_LIST ? TActiveListSink::COUNT_LIST : TActiveListSink::COUNT_NEW_GROUPS) {
  fSink.SetChunkHandler([this] { EmitProgress(false); });
}

// Files still open when the object goes are removed by the writer: a
// retrieval that never ended leaves no list behind.
TGroupListDownload::~TGroupListDownload() {
  if (fClient) fClient->Disconnect();
}

QString TGroupListDownload::FilesBase() const {
  return fServerDir + (fMode == MODE_FULL_LIST ? u"List"_s : u"newgroups"_s);
}

void TGroupListDownload::SetStatus(const char* text) { emit StatusChanged(QString::fromLatin1(text)); }

void TGroupListDownload::Start() {
  LOG_METHOD("TGroupListDownload.Start");
  fClient = new TMyNntpCli(this);
  ConfigureNntpClient(*fClient, fServer);
  fClient->SetTimeout(fTimeout);
  // The new-groups check logs in when the server asks; the full list logs in
  // explicitly whenever the definition has a login.
  fClient->SetAutoAuthenticate(fMode == MODE_NEW_GROUPS);
  connect(fClient, &TNntpCli::OnRequestDone, this, &TGroupListDownload::RequestDone);
  fRetryTimer = new QTimer(this);
  fRetryTimer->setSingleShot(true);
  connect(fRetryTimer, &QTimer::timeout, this, &TGroupListDownload::Connect);
  Connect();
}

void TGroupListDownload::Connect() {
  if (fPhase == PHASE_DONE) return;
  fPhase = PHASE_CONNECTING;
  SetStatus(fMode == MODE_FULL_LIST ? grouplists::kConnectingToNewsServer : grouplists::kConnectingToServer);
  if (!fClient->Connect()) Finish(fMode == MODE_FULL_LIST ? RESULT_ERROR : RESULT_CANCELLED);
}

void TGroupListDownload::RequestDone(TNntpCli*, TNntpRequest kind, quint16 code) {
  switch (fPhase) {
    case PHASE_CONNECTING:
      if (code == 0 && (kind == nntpConnected || kind == nntpReadyWaiting))
        Ready();
      else
        ConnectFailed();
      break;
    case PHASE_LOGIN:
      if (kind == nntpAuthenticate && code == 0) {
        SendCommand();
      } else if (kind == nntpAuthenticate && code >= 100 && code <= 599) {
        LogWarning(u"Login refused with "_s + QString::number(code));
        fServerCode = code;
        fWriter.Discard();
        Finish(RESULT_LOGIN_REJECTED);
      } else {
        fWriter.Discard();
        Finish(RESULT_ERROR);
      }
      break;
    case PHASE_COMMAND:
      CommandDone(kind == nntpAbort ? quint16(NNTP_ERR_CONNECTION_CLOSED) : code);
      break;
    default:
      break;
  }
}

void TGroupListDownload::ConnectFailed() {
  // No limit but the user's Abort; a pause keeps a refusing server from being hammered.
  ++fRetries;
  if (fMode == MODE_FULL_LIST)
    emit StatusChanged(u"Error while connecting to news server, retry #"_s + QString::number(fRetries) + u"..."_s);
  else
    SetStatus(grouplists::kConnectingToServer);
  LogWarning(u"Connecting to "_s + fServer.HostName() + u" failed; retry #"_s + QString::number(fRetries));
  fPhase = PHASE_WAITING;
  fRetryTimer->start(fRetryDelayMs);
}

void TGroupListDownload::Ready() {
  LOG_METHOD("TGroupListDownload.Ready");
  // Leftovers of an earlier run, whatever the case of their names.
  TGroupList::Delete(FilesBase() + u".gnam"_s);
  if (!fWriter.Open(FilesBase()) || !fSink.Start()) {
    LogError(u"Could not create "_s + FilesBase() + u".gnam/.gdat"_s);
    fWriter.Discard();
    Finish(fMode == MODE_FULL_LIST ? RESULT_FILE_ERROR : RESULT_CANCELLED);
    return;
  }
  EmitProgress(true);
  if (fMode == MODE_FULL_LIST && (!fServer.userName.isEmpty() || !fServer.password.isEmpty())) {
    fPhase = PHASE_LOGIN;
    SetStatus(grouplists::kLoggingIn);
    if (!fClient->Authenticate()) {
      fWriter.Discard();
      Finish(RESULT_ERROR);
    }
    return;
  }
  SendCommand();
}

void TGroupListDownload::SendCommand() {
  fPhase = PHASE_COMMAND;
  // The first piece of the reply shows at once; later ones at the interval.
  fSinceProgress.invalidate();
  bool started;
  if (fMode == MODE_FULL_LIST) {
    SetStatus(grouplists::kRetrievingList);
    started = fClient->List(&fSink);
  } else {
    SetStatus(grouplists::kRequestingNewGroups);
    fRequestTime = QDateTime::currentDateTime();
    // In UTC and marked so: the server's clock may keep another zone.
    started = fClient->NewGroups(fSince, true, {}, &fSink);
  }
  if (!started) {
    fWriter.Discard();
    Finish(fMode == MODE_FULL_LIST ? RESULT_ERROR : RESULT_CANCELLED);
  }
}

void TGroupListDownload::CommandDone(quint16 code) {
  LOG_METHOD("TGroupListDownload.CommandDone");
  fSink.FinishLines();
  if (code != 0) {
    fWriter.Discard();
    LogWarning(u"Group list request failed: "_s + NntpErrorText(code));
    if (fMode == MODE_NEW_GROUPS) {
      Finish(RESULT_CANCELLED);
    } else if (code == NNTP_ERR_STREAM_WRITE) {
      Finish(RESULT_FILE_ERROR);
    } else if (code >= 100 && code <= 599) {
      fServerCode = code;
      Finish(code == 480 ? RESULT_AUTH_REQUIRED : RESULT_SERVER_ERROR);
    } else {
      Finish(RESULT_ERROR);
    }
    return;
  }
  if (!fWriter.Finish()) {
    LogError(u"Writing the group list "_s + FilesBase() + u" failed"_s);
    fWriter.Discard();
    Finish(fMode == MODE_FULL_LIST ? RESULT_FILE_ERROR : RESULT_CANCELLED);
    return;
  }
  if (fWriter.Skipped() > 0)
    LogWarning(QString::number(fWriter.Skipped()) + u" group names longer than 253 bytes were skipped"_s);
  if (fMode == MODE_FULL_LIST) {
    const QString names = fWriter.NamesPath(), data = fWriter.DataPath();
    if (!TGroupList::ReplacePair(names, data, fServerDir + u"Groups.gnam"_s)) {
      LogError(u"Could not put the new list in place of "_s + fServerDir + u"Groups.gnam"_s);
      QFile::remove(names);
      QFile::remove(data);
      Finish(RESULT_FILE_ERROR);
      return;
    }
  }
  Finish(RESULT_SUCCESS);
}

void TGroupListDownload::Abort() {
  if (fPhase == PHASE_DONE) return;
  LogMessage(u"Group list retrieval aborted by the user"_s);
  if (fClient) fClient->Disconnect();
  fWriter.Discard();
  Finish(fMode == MODE_FULL_LIST ? RESULT_ERROR : RESULT_CANCELLED);
}

void TGroupListDownload::QuitQuietly() {
  if (!fClient) return;
  disconnect(fClient, nullptr, this, nullptr);
  if (fClient->State() == nntpReady)
    fClient->Quit();
  else
    fClient->Disconnect();
}

void TGroupListDownload::Finish(TResult result) {
  if (fPhase == PHASE_DONE) return;
  fPhase = PHASE_DONE;
  fResult = result;
  if (fRetryTimer) fRetryTimer->stop();
  QuitQuietly();
  if (result == RESULT_SUCCESS) EmitProgress(true);
  emit Finished(result, fWriter.Count(), fServerCode);
}

void TGroupListDownload::EmitProgress(bool force) {
  if (!force && fSinceProgress.isValid() && fSinceProgress.elapsed() < fProgressIntervalMs) return;
  fSinceProgress.start();
  emit Progress(fWriter.Count(), fSink.LastName());
}

QString TGroupListDownload::ResultTitle(TResult result, std::int64_t count) {
  if (result == RESULT_SUCCESS) return u"Finished downloading "_s + QString::number(count) + u" newsgroups!"_s;
  return QString::fromLatin1(grouplists::kErrorTitle);
}

QString TGroupListDownload::ResultText(TResult result, int serverCode) {
  switch (result) {
    case RESULT_SUCCESS:
      return QString::fromLatin1(grouplists::kListIndexed);
    case RESULT_FILE_ERROR:
      return QString::fromLatin1(grouplists::kFileError);
    case RESULT_LOGIN_REJECTED:
      return QString::fromLatin1(grouplists::kLoginRejected);
    case RESULT_AUTH_REQUIRED:
      return QString::fromLatin1(grouplists::kAuthenticationFailed);
    case RESULT_SERVER_ERROR:
      return u"News server reported error #"_s + QString::number(serverCode) + u'.';
    default:
      return QString::fromLatin1(grouplists::kListError);
  }
}
