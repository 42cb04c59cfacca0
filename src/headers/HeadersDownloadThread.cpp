#include "headers/HeadersDownloadThread.h"

#include "app/FileUtils.h"
#include "app/LineListFile.h"
#include "app/Logger.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/GroupRange.h"
#include "headers/HeaderFileWriter.h"
#include "headers/HeadersNewsCli.h"
#include "headers/JobFile.h"
#include "headers/KillFile.h"
#include "headers/OverviewParser.h"
#include "model/TernaryTree.h"
#include "nntp/ArticleDate.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Messages of the job's ResultString.
const char* const kZeroConnections = "Zero connections specified - #0801";
const char* const kCreateSeek = "Failed to create the headers sync stream - #0101";
const char* const kRecreateSeek = "Failed to re-create the headers sync stream - #0200";
const char* const kSetupClient = "Failed to setup news client - #0201";
const char* const kConnectClient = "Failed to connect news client - #0202";
const char* const kCreateText = "Failed to create headers file - #0301";
const char* const kCreateIndex = "Failed to create headers index file - #0302";
const char* const kWriteIndex = "Failed to write last response to headers index stream - #0501";
const char* const kWriteText = "Failed to write last response to headers stream - #0502";
const char* const kWriteSeek = "Failed to write to headers sync stream - #0503";
const char* const kCreateEntry = "Failed to create a news entry - #0601";
const char* const kRenameIndex = "Failed to rename index file - #0701";
const char* const kRenameText = "Failed to rename body file - #0702";
const char* const kRenameSeek = "Failed to rename seek file - #0702b";
const char* const kOpenBody = "Failed to open body file - #0703";
const char* const kOpenIndex = "Failed to open index file - #0704";
const char* const kCreateSync = "Failed to create sync file - #0705";
const char* const kAllocBuffer = "Failed to allocate read buffer - #0706";
const char* const kOpenTextPart = "Failed to open headers file - #0707";
const char* const kOpenIndexPart = "Failed to open headers index file - #0708";
const char* const kReadIndexPart = "Failed to create headers index file - #0709";
const char* const kWriteSync = "Failed to write sync header - #0710";
const char* const kWriteIndexFile = "Failed to write to headers index file - #0711";
const char* const kReadTextPart = "Failed to open headers file - #0712";
const char* const kWriteTextFile = "Failed to write to headers file - #0713";
// Only when the owner limits the connection attempts (korvel-cli).
const char* const kCannotConnect = "Could not connect to the news server";

const QString kInitFailed = u"Download initialization failed"_s;
const QString kStartFailed = u"Download start failed"_s;

constexpr int kMaxConnections = 100;
// Refusals of XOVER in a row, on any connection, that fail the newsgroup: a
// server that will not give its overview does not change its mind on retry.
constexpr int kMaxOverviewRefusals = 3;
// A reply line up to this long is taken; overview lines with long reference
// lists exceed the client's default of 64 KiB now and then.
constexpr int kLineLimit = 1024 * 1024;
constexpr int kPublishMs = 250;
constexpr qint64 kSpeedMs = 2000;
constexpr qsizetype kRawFlush = 256 * 1024;

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The delay before reconnecting after the n-th failure in a row without a
// completed range: the first retry goes at once, later ones back off up to
// 30 seconds.
int BackoffMs(int failures) {
  if (failures <= 1) return 0;
  return std::min(30000, 1000 << std::min(failures - 2, 5));
}

}  // namespace

// One connection of the download.
struct THeadersConnection {
  THeadersNewsCli* client = nullptr;
  int index = 0;
  QString groupName;    // newsgroup last selected
  int groupSerial = -1;  // the newsgroup start it was selected for
  std::int64_t firstReceived = 0;
  std::int64_t lastReceived = 0;
  std::int64_t serverFirst = -1;
  std::int64_t serverLast = -1;
  std::int64_t serverEstimated = -1;
  std::int64_t rangeFirst = 0;
  std::int64_t rangeLast = 0;
  int range = -1;  // index into the ranges, -1 without one
  bool idle = true;
  bool ready = false;  // logged in since its last connect
  int reconnections = 0;
  std::int64_t headers = 0;
  double speed = 0;  // bytes per second
  quint64 speedBytes = 0;
  qint64 speedTick = 0;
  int failures = 0;         // in a row without a completed range
  int connectFailures = 0;  // in a row without getting ready
  quint32 restartSerial = 0;
};

// The download itself; lives on the job's thread for the length of run().
class THeadersDownload : public QObject {
 public:
  explicit THeadersDownload(THeadersDownloadThread* thread) : fThread(thread) { fClock.start(); }
  ~THeadersDownload() override;

  bool Initialize();
  void Start();
  bool ResultSet() const { return fResultSet; }
  void SetLoop(QEventLoop* loop) { fLoop = loop; }
  void Wake(bool terminate);
  void SetFinalJobResult();
  void TerminateThread();

 private:
  bool InitFail(const char* message);
  void ResetNewsgroupState();
  void StartConnections();
  void Connect(THeadersConnection& c);
  bool CloseAllConnections();
  void Completed(THeadersConnection& c, TNntpRequest kind, quint16 code);
  void ClientReady(THeadersConnection& c);
  void GroupDone(THeadersConnection& c);
  void EmptyNewsgroup();
  void TakeRange(THeadersConnection& c);
  void OverviewLine(THeadersConnection& c);
  void XoverDone(THeadersConnection& c);
  void ConnectionIdle(THeadersConnection& c);
  void Failure(THeadersConnection& c, TNntpRequest kind, quint16 code);
  void RestartConnection(THeadersConnection& c, bool connectFailure);
  void OfferPendingRanges();
  void QueueNextNewsgroup();
  void NextNewsgroup();
  void FinishNowIfDue();
  void ProcessDownloadedHeaders();
  bool MergeParts();
  void FinishMerge();
  void CancelDownload(const char* message);
  void SetThreadResult(int code);
  void DeleteAllPartFiles();
  void WriterFailed(const THeaderFileWriter& writer);
  void SaveDownloadedEmailList();
  void FlushRaw();
  void Tick();
  void Publish();
  void ReportGroupInfo(const TDownloadedNewsgroup& entry, bool done);
  void SetNewsgroupResult(int index, TDownloadResult result);
  void SetJobHeaders(std::int64_t count);

  QString PartName(int newsgroupNumber, int rangeId, bool index) const;
  QString FinalName(const char* extension) const { return fSavePath + fBase + QLatin1String(extension); }
  QString SeekPartName() const { return fSavePath + fBase + u".seek.tmp"_s; }
  bool Stopped() const { return fStopped || fThread->IsTerminating(); }

  THeadersDownloadThread* fThread;
  QEventLoop* fLoop = nullptr;
  QElapsedTimer fClock;
  QTimer* fTimer = nullptr;

  // From the job.
  TJobInfo fInfo;
  int fThreshold = 250;
  QString fRawPath;
  QString fKillPath;
  QString fEmailsPath;
  QString fSavePath;
  QString fBase;
  QString fServerName;
  int fConnectionCount = 1;
  TJobOperation fFirstOperation = JOB_OPERATION_GET_HEADERS_ALL;

  TOverviewParser fParser;
  std::unique_ptr<TKillFile> fKill;
  bool fKillSenders = false;
  bool fKillSubjects = false;
  std::unique_ptr<TTernaryTree> fEmails;
  char fLowerSender[TOverviewParser::kMaxSender + 1];
  QFile fRaw;
  QByteArray fRawBuffer;
  bool fSeekMode = false;

  std::vector<std::unique_ptr<THeadersConnection>> fConnections;

  // The current newsgroup.
  int fCurrent = 0;
  int fGroupSerial = 0;
  bool fRangesSet = false;
  bool fNewsgroupFinished = false;
  bool fNextQueued = false;
  std::vector<TGroupRange> fRanges;
  std::deque<int> fPending;
  std::vector<int> fFinished;
  std::int64_t fGroupHeaders = 0;
  std::int64_t fExpected = 0;
  int fOverviewRefusals = 0;  // in a row

  std::vector<TDownloadedNewsgroup> fDownloaded;
  int fLastRangeCount = 0;  // ranges of the last newsgroup downloaded

  // Counters of the job.
  std::int64_t fHeaders = 0;
  std::int64_t fKilled = 0;
  std::int64_t fFailed = 0;
  std::int64_t fSkipped = 0;
  std::int64_t fLines = 0;
  int fReconnections = 0;
  qint64 fStartTick = 0;
  qint64 fEndTick = -1;
  double fBytesPerSecond = 0;
  double fHeadersPerSecond = 0;
  quint64 fSpeedBytes = 0;
  std::int64_t fSpeedHeaders = 0;
  qint64 fSpeedTick = 0;
  int fTicks = 0;
  bool fSample = true;
  QByteArray fLastSubject;
  double fLastDate = 0;

  bool fStopped = false;  // no more client events are handled
  bool fMerging = false;
  bool fResultSet = false;
  std::uint64_t fBytesToMerge = 0;
  const THeaderFileWriter* fFlushFailed = nullptr;
};

// ---------------------------------------------------------------------------
// Initialisation

THeadersDownload::~THeadersDownload() {
  for (auto& c : fConnections)
    if (c->client) c->client->Disconnect();
}

bool THeadersDownload::InitFail(const char* message) {
  if (message) fThread->WithJob([message](TJobEntry& job) { job.SetResultString(QString::fromLatin1(message)); });
  fThread->SetStatusText(kInitFailed);
  fStopped = true;
  SetThreadResult(TJobThread::RESULT_FAILURE);
  return false;
}

bool THeadersDownload::Initialize() {
  LOG_METHOD("InitializeDownload");
  bool downloadJob = false;
  const bool hasJob = fThread->WithJob([&](TJobEntry& job) {
    fInfo = job.Info();
    if (auto* d = dynamic_cast<TDownloadHeadersJobEntry*>(&job)) {
      downloadJob = true;
      fThreshold = d->SingleConnectionThreashold;
      fRawPath = d->RawHeadersFile;
      fKillPath = d->Killfile;
      fEmailsPath = d->DownloadedEmailsFile;
      fSavePath = WithTrailingSlash(d->HeadersSavePath);
    }
  });
  if (!hasJob || !downloadJob) {
    LogError("The headers download has no download job");
    return InitFail(nullptr);
  }
  if (fInfo.connectionCount < 1) return InitFail(kZeroConnections);
  fConnectionCount = std::min(fInfo.connectionCount, kMaxConnections);
  fServerName = fInfo.serverName;

  fBase = fInfo.guid.isNull() ? u"_H"_s + QString::asprintf("%08X", static_cast<unsigned>(fClock.msecsSinceReference()))
                              : TJobFile::GuidText(fInfo.guid);
  fParser.SetMatchStrings(fInfo.matchString);

  if (!fRawPath.isEmpty()) {
    fRaw.setFileName(fRawPath);
    if (!fRaw.open(QIODevice::WriteOnly | QIODevice::Truncate))
      LogWarning(u"Cannot create the raw headers file "_s + fRawPath + u": "_s + fRaw.errorString());
  }

  if (!fEmailsPath.isEmpty()) {
    fEmails = std::make_unique<TTernaryTree>();
    QList<QByteArray> lines;
    if (TLineListFile::Load(fEmailsPath, lines) == TLineListFile::LOAD_FAILED)
      LogWarning(u"Cannot read the downloaded addresses file "_s + fEmailsPath);
    for (const QByteArray& line : lines)
      if (!line.isEmpty()) fEmails->Insert(line);
  }

  if (!fKillPath.isEmpty() && QFileInfo::exists(fKillPath)) {
    auto kill = std::make_unique<TKillFile>(fKillPath);
    if (kill->Load()) {
      kill->Parse();
      if (kill->HasEntries()) {
        fKillSenders = !kill->SenderPatterns().isEmpty();
        fKillSubjects = !kill->SubjectPatterns().isEmpty();
        LogMessage(u"Kill file: %1 sender and %2 subject patterns"_s.arg(kill->SenderPatterns().size())
                       .arg(kill->SubjectPatterns().size()));
        fKill = std::move(kill);
      }
    } else {
      LogWarning(u"The kill file "_s + fKillPath + u" could not be read; downloading without it"_s);
    }
  }

  if (fInfo.newsgroups.isEmpty()) {
    LogError("The headers job has no newsgroup");
    return InitFail(nullptr);
  }
  fCurrent = 0;
  fThread->WithJob([](TJobEntry& job) {
    job.SetCurrentNewsgroup(0);
    job.SetHeadersDownloaded(0);
  });
  fStartTick = fClock.elapsed();
  fSpeedTick = fStartTick;

  for (int i = 0; i < fConnectionCount; ++i) {
    auto c = std::make_unique<THeadersConnection>();
    c->index = i;
    c->client = new THeadersNewsCli(i, this);
    c->client->Configure(fInfo.server);
    c->client->SetTimeout(fThread->fTimeout);
    c->client->SetLineLimit(kLineLimit);
    THeadersConnection* conn = c.get();
    connect(c->client, &TNntpCli::OnRequestDone, this,
            [this, conn](TNntpCli*, TNntpRequest kind, quint16 code) { Completed(*conn, kind, code); });
    connect(c->client, &TMyNntpCli::OnError, this,
            [this, conn](TNntpCli*, TNntpRequest kind, quint16 code) { Completed(*conn, kind, code); });
    connect(c->client, &TNntpCli::OnMessageLine, this, [this, conn](TNntpCli*) { OverviewLine(*conn); });
    fConnections.push_back(std::move(c));
  }

  ResetNewsgroupState();
  fFirstOperation = ParseOperationString(fInfo.newsgroups.first().data).operation;

  if (fConnectionCount == 1 && fInfo.newsgroups.size() == 1) {
    QFile seek(SeekPartName());
    if (!seek.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      LogError(u"Cannot create "_s + seek.fileName() + u": "_s + seek.errorString());
      return InitFail(kCreateSeek);
    }
    fSeekMode = true;
  }

  fTimer = new QTimer(this);
  fTimer->setTimerType(Qt::CoarseTimer);
  connect(fTimer, &QTimer::timeout, this, &THeadersDownload::Tick);
  fTimer->start(kPublishMs);
  return true;
}

void THeadersDownload::ResetNewsgroupState() {
  fRangesSet = false;
  fNewsgroupFinished = false;
  fNextQueued = false;
  fRanges.clear();
  fPending.clear();
  fFinished.clear();
  fGroupHeaders = 0;
  fExpected = 0;
  fOverviewRefusals = 0;
}

void THeadersDownload::Start() {
  LOG_METHOD("StartDownload");
  LogMessage(u"Downloading headers of "_s + fInfo.newsgroups[fCurrent].name + u" over %1 connection(s)"_s.arg(
                                                                                 fConnectionCount));
  StartConnections();
}

// ---------------------------------------------------------------------------
// Connections

void THeadersDownload::StartConnections() {
  LOG_METHOD("StartConnections");
  ++fGroupSerial;
  for (auto& c : fConnections) {
    if (Stopped()) return;
    if (c->client->State() == nntpReady && c->ready)
      ClientReady(*c);
    else
      Connect(*c);
  }
}

void THeadersDownload::Connect(THeadersConnection& c) {
  ++c.restartSerial;
  c.ready = false;
  c.idle = false;
  if (!c.client) {
    c.client = new (std::nothrow) THeadersNewsCli(c.index, this);
    if (!c.client) return CancelDownload(kSetupClient);
  }
  if (!c.client->Connect()) {
    LogError(u"Connection %1 could not start connecting: "_s.arg(c.index) + c.client->StartError());
    fThread->SetStatusText(kStartFailed);
    CancelDownload(kConnectClient);
  }
}

// Closes every connection without events. The part files of ranges being
// fetched are closed with what they hold (their headers are counted); false,
// with fFlushFailed set, when one could not be written out.
bool THeadersDownload::CloseAllConnections() {
  bool ok = true;
  for (auto& c : fConnections) {
    ++c->restartSerial;  // reconnections that wait are off
    c->ready = false;
    c->idle = true;
    c->client->Disconnect();
    c->range = -1;
    THeaderFileWriter& parts = c->client->parts;
    if (parts.IsOpen() && !parts.Close(false) && ok) {
      ok = false;
      fFlushFailed = &parts;
    }
  }
  return ok;
}

// Every completion and failure of a client arrives here.
void THeadersDownload::Completed(THeadersConnection& c, TNntpRequest kind, quint16 code) {
  if (fStopped) return;
  switch (kind) {
    case nntpReadyWaiting:
    case nntpConnected:
      if (code == 0 && c.client->State() == nntpReady) {
        c.ready = true;
        c.connectFailures = 0;
        ClientReady(c);
        return;
      }
      break;
    case nntpGroup:
      if (code == 0) {
        GroupDone(c);
        return;
      }
      break;
    case nntpXOver:
      // An empty range is no failure: retrying it would never end.
      if (code == 0 || code == 420 || code == 423) {
        XoverDone(c);
        return;
      }
      break;
    case nntpQuit:
      return;
    default:
      break;
  }
  Failure(c, kind, code);
}

void THeadersDownload::ClientReady(THeadersConnection& c) {
  if (Stopped()) return;
  c.idle = false;
  c.firstReceived = c.lastReceived = 0;
  c.groupName = fInfo.newsgroups[fCurrent].name;
  c.groupSerial = fGroupSerial;
  if (!c.client->Group(c.groupName.toUtf8())) Failure(c, nntpGroup, NNTP_ERR_UNKNOWN_SOCKET);
}

void THeadersDownload::GroupDone(THeadersConnection& c) {
  LOG_METHOD("GroupDone");
  if (c.groupSerial != fGroupSerial) {
    // Selected for a newsgroup that is over: select the current one.
    ClientReady(c);
    return;
  }
  if (fNewsgroupFinished) {
    ConnectionIdle(c);
    return;
  }
  const std::int64_t estimated = c.client->ArticleEstimated();
  const std::int64_t first = c.client->ArticleFirst();
  const std::int64_t last = c.client->ArticleLast();
  TDownloadedNewsgroup info{fServerName, c.groupName, first, last, estimated, 0, false};
  ReportGroupInfo(info, false);
  if (estimated == 0 || first < 0 || last < 0) {
    EmptyNewsgroup();
    return;
  }
  c.serverFirst = first;
  c.serverLast = last;
  c.serverEstimated = estimated;
  if (!fRangesSet) {
    const TJobOperationArgs operation = ParseOperationString(fInfo.newsgroups[fCurrent].data);
    const TGroupSpan span = ComputeGroupSpan(operation, first, last, estimated);
    fRanges = SplitIntoRanges(span, fConnectionCount, fThreshold);
    if (fRanges.empty()) {
      LogMessage(u"Nothing to fetch in "_s + c.groupName + u" (%1-%2)"_s.arg(span.first).arg(span.last));
      EmptyNewsgroup();
      return;
    }
    fRangesSet = true;
    for (const TGroupRange& r : fRanges) fPending.push_back(r.id);
    fExpected = ExpectedHeaders(span, first, last, estimated);
    try {
      fDownloaded.push_back(info);
    } catch (const std::bad_alloc&) {
      return CancelDownload(kCreateEntry);
    }
    fLastRangeCount = static_cast<int>(fRanges.size());
    LogMessage(u"%1: articles %2-%3 in %4 range(s)"_s.arg(c.groupName).arg(span.first).arg(span.last).arg(
        fRanges.size()));
  }
  TakeRange(c);
}

// GROUP reported no articles: the newsgroup is done, without a part file.
void THeadersDownload::EmptyNewsgroup() {
  if (!CloseAllConnections()) return WriterFailed(*fFlushFailed);
  fNewsgroupFinished = true;
  SetNewsgroupResult(fCurrent, DOWNLOAD_RESULT_SUCCESS);
  QueueNextNewsgroup();
}

QString THeadersDownload::PartName(int newsgroupNumber, int rangeId, bool index) const {
  return fSavePath + fBase + u".G"_s + QString::asprintf("%05X", static_cast<unsigned>(newsgroupNumber)) + u".R"_s +
         QString::number(rangeId) + (index ? u".idx.tmp"_s : u".tmp"_s);
}

void THeadersDownload::TakeRange(THeadersConnection& c) {
  if (Stopped()) return;
  if (fPending.empty()) {
    ConnectionIdle(c);
    return;
  }
  const int id = fPending.front();
  fPending.pop_front();
  TGroupRange& range = fRanges[static_cast<std::size_t>(id)];
  c.range = id;
  c.idle = false;
  c.rangeFirst = range.first;
  c.rangeLast = range.last;
  c.firstReceived = c.lastReceived = 0;
  range.headers = 0;
  range.percentDone = 0;

  const int number = static_cast<int>(fDownloaded.size());
  THeaderFileWriter& parts = c.client->parts;
  if (!parts.Open(PartName(number, id, false), PartName(number, id, true), fSeekMode ? SeekPartName() : QString())) {
    switch (parts.Error()) {
      case THeaderFileWriter::WRITER_OPEN_INDEX:
        return CancelDownload(kCreateIndex);
      case THeaderFileWriter::WRITER_OPEN_SEEK:
        return CancelDownload(c.reconnections > 0 ? kRecreateSeek : kCreateSeek);
      default:
        return CancelDownload(kCreateText);
    }
  }
  c.client->textPartName = parts.TextPath();
  c.client->indexPartName = parts.IndexPath();
  fParser.SetClock(TArticleDateClock::Now());
  const QByteArray request = QByteArray::number(range.first) + '-' + QByteArray::number(range.last);
  if (!c.client->XOver(request, nullptr)) Failure(c, nntpXOver, NNTP_ERR_UNKNOWN_SOCKET);
}

// ---------------------------------------------------------------------------
// Overview lines

void THeadersDownload::OverviewLine(THeadersConnection& c) {
  if (fStopped || c.client->RequestType() != nntpXOver) return;
  const QByteArrayView line = c.client->Line();
  if (fRaw.isOpen()) {
    fRawBuffer.append(line.data(), line.size());
    fRawBuffer.append("\r\n", 2);
    if (fRawBuffer.size() >= kRawFlush) FlushRaw();
  }
  ++fLines;

  TNewsHeader header;
  const TOverviewParser::TResult result = fParser.Parse(line, header);
  if (const std::int64_t number = fParser.LastNumber(); number > 0) {
    c.lastReceived = number;
    if (c.firstReceived == 0) c.firstReceived = number;
  }
  if (fEmails && fParser.SenderSeen() && !header.sender.isEmpty()) {
    const qsizetype n = header.sender.size();
    for (qsizetype i = 0; i < n; ++i) fLowerSender[i] = LowerAscii(header.sender[i]);
    fEmails->Insert(QByteArrayView(fLowerSender, n));
  }
  if (result == TOverviewParser::OVERVIEW_FAILED) {
    ++fFailed;
    return;
  }
  if (result == TOverviewParser::OVERVIEW_SKIPPED) {
    ++fSkipped;
    return;
  }
  if (fKill) {
    if ((fKillSenders && !header.sender.isEmpty() && fKill->MatchesSender(TKillFile::MatchText(header.sender))) ||
        (fKillSubjects && !header.subject.isEmpty() &&
         fKill->MatchesSubject(TKillFile::MatchText(header.subject)))) {
      ++fKilled;
      return;
    }
  }
  if (c.range < 0) return;  // no range: nothing to write into
  header.newsgroup = static_cast<std::uint16_t>(fDownloaded.size() - 1);

  THeaderFileWriter& parts = c.client->parts;
  if (!parts.Write(header)) {
    if (parts.Error() == THeaderFileWriter::WRITER_OK) {
      ++fFailed;  // too long for its record
      return;
    }
    return WriterFailed(parts);
  }
  ++fDownloaded.back().headers;
  ++fRanges[static_cast<std::size_t>(c.range)].headers;
  ++fGroupHeaders;
  ++fHeaders;
  ++c.headers;
  if (fSample) {
    fLastSubject = header.subject.toByteArray();
    fLastDate = header.date;
    fSample = false;
  }
}

// A write to a part file failed: the download cannot go on.
void THeadersDownload::WriterFailed(const THeaderFileWriter& writer) {
  switch (writer.Error()) {
    case THeaderFileWriter::WRITER_WRITE_INDEX:
      LogError(u"Writing to headers index stream failed - 0501 ("_s + writer.ErrorText() + u')');
      return CancelDownload(kWriteIndex);
    case THeaderFileWriter::WRITER_WRITE_SEEK:
      LogError(u"Writing to headers sync failed - 0503 ("_s + writer.ErrorText() + u')');
      return CancelDownload(kWriteSeek);
    default:
      LogError(u"Writing to headers stream failed - 0502 ("_s + writer.ErrorText() + u')');
      return CancelDownload(kWriteText);
  }
}

void THeadersDownload::XoverDone(THeadersConnection& c) {
  if (c.range < 0) {
    ConnectionIdle(c);
    return;
  }
  TGroupRange& range = fRanges[static_cast<std::size_t>(c.range)];
  range.percentDone = 100;
  fFinished.push_back(c.range);
  c.range = -1;
  c.firstReceived = c.lastReceived = 0;
  fOverviewRefusals = 0;
  // Only a whole range shows the connection is well: a range that breaks off
  // at the same line each time starts again from its first number, so lines
  // received before the break must not cancel the backoff.
  c.failures = 0;
  if (!c.client->parts.Close(false)) return WriterFailed(c.client->parts);
  TakeRange(c);
}

void THeadersDownload::ConnectionIdle(THeadersConnection& c) {
  c.idle = true;
  if (fNewsgroupFinished || !fRangesSet) return;
  const bool allIdle =
      std::all_of(fConnections.cbegin(), fConnections.cend(), [](const auto& k) { return k->idle || k->range < 0; });
  if (!allIdle || fFinished.size() != fRanges.size()) return;
  fNewsgroupFinished = true;
  SetNewsgroupResult(fCurrent, DOWNLOAD_RESULT_SUCCESS);
  QueueNextNewsgroup();
}

// ---------------------------------------------------------------------------
// Failures

void THeadersDownload::Failure(THeadersConnection& c, TNntpRequest kind, quint16 code) {
  LOG_METHOD("NewsCliError");
  const bool timedOut = c.client->TimedOut();
  QString reason = timedOut ? u"no data for %1 s"_s.arg(fThread->fTimeout) : NntpErrorText(code);
  if (code == NNTP_ERR_TLS_UNTRUSTED)
    reason += u" (SHA-256 "_s + QString::fromLatin1(c.client->PeerCertificateFingerprint().toHex(':')) + u')';
  LogWarning(u"Connection %1 - Request Type: "_s.arg(c.index) + QString::fromLatin1(NntpRequestName(kind)) +
             u" Error: %1 ("_s.arg(code) + reason + u')');
  fThread->SetLastError(reason);

  if (Stopped() || fMerging) {
    if (c.range >= 0) {
      c.range = -1;
      c.client->parts.Discard();
    }
    return;
  }

  c.firstReceived = c.lastReceived = 0;
  if (c.range >= 0) {
    TGroupRange& range = fRanges[static_cast<std::size_t>(c.range)];
    fHeaders = std::max<std::int64_t>(0, fHeaders - range.headers);
    fGroupHeaders = std::max<std::int64_t>(0, fGroupHeaders - range.headers);
    if (!fDownloaded.empty())
      fDownloaded.back().headers = std::max<std::int64_t>(0, fDownloaded.back().headers - range.headers);
    c.headers = std::max<std::int64_t>(0, c.headers - range.headers);
    range.headers = 0;
  }

  // A server's answer to GROUP decides about the newsgroup; a lost or silent
  // connection does not.
  bool groupRefused = kind == nntpGroup && code >= 100 && code <= 599;
  // A permanent refusal of XOVER (permission denied, command unknown) would
  // otherwise be asked again for as long as the job runs.
  if (kind == nntpXOver && code >= 500 && code <= 599 && c.groupSerial == fGroupSerial &&
      ++fOverviewRefusals >= kMaxOverviewRefusals) {
    LogError(u"The server refused the overview of "_s + c.groupName + u" %1 times; the newsgroup failed"_s.arg(
                 fOverviewRefusals));
    if (c.range >= 0) {
      c.range = -1;
      c.client->parts.Discard();
    }
    groupRefused = true;
  }
  if (!groupRefused) {
    if (c.range >= 0) {
      // The range starts again from its first number, in new part files.
      fRanges[static_cast<std::size_t>(c.range)].percentDone = 0;
      fPending.push_back(c.range);
      c.range = -1;
      c.client->parts.Discard();
      OfferPendingRanges();
      if (Stopped()) return;  // the idle connection could not start it: cancelled
    }
    const bool connectFailure = kind == nntpConnecting || kind == nntpReadyWaiting || kind == nntpConnected ||
                                kind == nntpAuthenticate || !c.ready;
    RestartConnection(c, connectFailure);
    return;
  }

  if (c.groupSerial != fGroupSerial) {
    // The answer belongs to a newsgroup that is over.
    if (c.client->State() == nntpReady) ClientReady(c);
    return;
  }
  if (!CloseAllConnections()) return WriterFailed(*fFlushFailed);
  fNewsgroupFinished = true;
  SetNewsgroupResult(fCurrent, code == 411 ? DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP : DOWNLOAD_RESULT_FAILURE);
  QueueNextNewsgroup();
}

// A range given back by a failed connection goes to a connection that sits
// idle in the newsgroup, rather than wait for the failed one to reconnect.
void THeadersDownload::OfferPendingRanges() {
  if (!fRangesSet || fNewsgroupFinished) return;
  for (auto& k : fConnections) {
    if (fPending.empty() || Stopped()) return;
    if (k->idle && k->range < 0 && k->ready && k->groupSerial == fGroupSerial && k->client->State() == nntpReady)
      TakeRange(*k);
  }
}

void THeadersDownload::RestartConnection(THeadersConnection& c, bool connectFailure) {
  LOG_METHOD("RestartDownload");
  if (fSeekMode) {
    // The seek entries count from the start of the part files, which start again.
    QFile seek(SeekPartName());
    if (!seek.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      LogError(u"Cannot re-create "_s + seek.fileName() + u": "_s + seek.errorString());
      return CancelDownload(kRecreateSeek);
    }
  }
  ++c.failures;
  if (connectFailure) ++c.connectFailures;
  const int attempts = fThread->fConnectAttempts;
  if (attempts > 0 && std::all_of(fConnections.cbegin(), fConnections.cend(),
                                  [attempts](const auto& k) { return k->connectFailures >= attempts; })) {
    LogError(u"Giving up after %1 failed connection attempts on every connection"_s.arg(attempts));
    return CancelDownload(kCannotConnect);
  }
  ++c.reconnections;
  ++fReconnections;
  c.ready = false;
  c.idle = false;
  c.client->Disconnect();
  const int delay = BackoffMs(c.failures);
  if (delay == 0) {
    Connect(c);
    return;
  }
  LogMessage(u"Connection %1 reconnects in %2 ms"_s.arg(c.index).arg(delay));
  const quint32 serial = ++c.restartSerial;
  THeadersConnection* conn = &c;
  QTimer::singleShot(delay, this, [this, conn, serial] {
    if (serial == conn->restartSerial && !Stopped() && !fMerging) Connect(*conn);
  });
}

// ---------------------------------------------------------------------------
// Newsgroups

void THeadersDownload::QueueNextNewsgroup() {
  if (fNextQueued) return;
  fNextQueued = true;
  // From the event loop, once the completion that ended the newsgroup has returned.
  QMetaObject::invokeMethod(this, [this] { NextNewsgroup(); }, Qt::QueuedConnection);
}

void THeadersDownload::NextNewsgroup() {
  LOG_METHOD("CheckNextNewsgroup");
  if (Stopped() || fMerging) return;
  ++fCurrent;
  if (fCurrent < fInfo.newsgroups.size()) {
    fThread->WithJob([this](TJobEntry& job) { job.SetCurrentNewsgroup(fCurrent); });
    ResetNewsgroupState();
    LogMessage(u"Next newsgroup: "_s + fInfo.newsgroups[fCurrent].name);
    StartConnections();
    return;
  }
  fCurrent = static_cast<int>(fInfo.newsgroups.size()) - 1;
  ProcessDownloadedHeaders();
}

void THeadersDownload::Wake(bool terminate) {
  if (terminate || fThread->IsTerminating()) {
    fStopped = true;
    if (fLoop) fLoop->quit();
    return;
  }
  FinishNowIfDue();
}

void THeadersDownload::FinishNowIfDue() {
  if (!fThread->FinishNowRequested() || fStopped || fMerging || fResultSet) return;
  LogMessage("Finishing now with the headers received so far");
  // A newsgroup already decided (refused, say, with the next one not yet
  // begun) keeps its result.
  if (!fNewsgroupFinished) SetNewsgroupResult(fCurrent, DOWNLOAD_RESULT_SUCCESS);
  ProcessDownloadedHeaders();
}

// ---------------------------------------------------------------------------
// Merge

void THeadersDownload::ProcessDownloadedHeaders() {
  LOG_METHOD("ProcessDownloadedHeaders");
  fMerging = true;
  fStopped = true;
  if (!CloseAllConnections()) return WriterFailed(*fFlushFailed);
  Publish();

  if (fDownloaded.empty() || fHeaders == 0) {
    fDownloaded.clear();
    fHeaders = 0;
    DeleteAllPartFiles();
    return FinishMerge();
  }

  if (fConnectionCount == 1 && fDownloaded.size() == 1) {
    // One connection, one newsgroup: the part files are the final files.
    THeadersNewsCli* client = fConnections.front()->client;
    // The job is saved as complete next, so the files must be on disk first.
    const auto rename = [](const QString& from, const QString& to) {
      QFile file(from);
      if (!file.open(QIODevice::ReadOnly) || ::fdatasync(file.handle()) != 0) {
        LogError(u"Failed to write "_s + from + u" to disk ("_s + file.errorString() + u')');
        return false;
      }
      file.close();
      QFile::remove(to);
      if (file.rename(to)) return true;
      LogError(u"Failed to rename "_s + from + u" to "_s + to + u" ("_s + file.errorString() + u')');
      return false;
    };
    if (!rename(client->indexPartName, FinalName(".idx"))) return CancelDownload(kRenameIndex);
    if (!rename(client->textPartName, FinalName(".hdrs"))) return CancelDownload(kRenameText);
    if (QFileInfo::exists(SeekPartName()) && !rename(SeekPartName(), FinalName(".seek")))
      return CancelDownload(kRenameSeek);
    DeleteAllPartFiles();
    return FinishMerge();
  }

  if (!MergeParts()) return;
  FinishMerge();
}

// Appends every part, newsgroup by newsgroup and range by range, to the
// final files; the seek entries are counted across all of them.
bool THeadersDownload::MergeParts() {
  LOG_METHOD("MergeParts");
  struct TPart {
    QString text;
    QString index;
  };
  std::vector<TPart> parts;
  fBytesToMerge = 0;
  for (int n = 1; n <= static_cast<int>(fDownloaded.size()); ++n) {
    for (int r = 0; r < fConnectionCount; ++r) {
      TPart part{PartName(n, r, false), PartName(n, r, true)};
      QFile text(part.text);
      if (!text.exists()) continue;
      if (!text.open(QIODevice::ReadOnly)) {
        CancelDownload(kOpenTextPart);
        return false;
      }
      QFile index(part.index);
      if (!index.open(QIODevice::ReadOnly)) {
        CancelDownload(kOpenIndexPart);
        return false;
      }
      fBytesToMerge += static_cast<std::uint64_t>(text.size() + index.size());
      parts.push_back(std::move(part));
    }
  }

  THeaderFileWriter out;
  // The merge progress is read from other threads while this runs.
  struct TShowProgress {
    THeadersDownloadThread* thread;
    ~TShowProgress() { thread->SetMergeWriter(nullptr, 0); }
  } showProgress{fThread};
  if (!out.Open(FinalName(".hdrs"), FinalName(".idx"), FinalName(".seek"))) {
    switch (out.Error()) {
      case THeaderFileWriter::WRITER_OPEN_INDEX:
        CancelDownload(kOpenIndex);
        break;
      case THeaderFileWriter::WRITER_OPEN_SEEK:
        CancelDownload(kCreateSync);
        break;
      default:
        CancelDownload(kOpenBody);
        break;
    }
    return false;
  }
  fThread->SetMergeWriter(&out, fBytesToMerge);
  for (const TPart& part : parts) {
    if (fThread->IsTerminating()) {
      out.Discard();
      return false;
    }
    bool appended = false;
    try {
      appended = out.AppendParts(part.text, part.index);
    } catch (const std::bad_alloc&) {
      out.Discard();
      CancelDownload(kAllocBuffer);
      return false;
    }
    if (appended) continue;
    const THeaderFileWriter::TError error = out.Error();
    const bool indexPart = out.ErrorText().startsWith(part.index + u':');
    out.Discard();
    switch (error) {
      case THeaderFileWriter::WRITER_OPEN_PART:
      case THeaderFileWriter::WRITER_READ_PART:
        CancelDownload(indexPart ? kReadIndexPart : kReadTextPart);
        break;
      case THeaderFileWriter::WRITER_WRITE_SEEK:
        CancelDownload(kWriteSync);
        break;
      case THeaderFileWriter::WRITER_WRITE_TEXT:
        CancelDownload(kWriteTextFile);
        break;
      default:
        CancelDownload(kWriteIndexFile);
        break;
    }
    return false;
  }
  if (!out.Close(true, true)) {
    const THeaderFileWriter::TError error = out.Error();
    out.Discard();
    CancelDownload(error == THeaderFileWriter::WRITER_WRITE_SEEK    ? kWriteSync
                   : error == THeaderFileWriter::WRITER_WRITE_TEXT ? kWriteTextFile
                                                                   : kWriteIndexFile);
    return false;
  }
  if (out.Records() != static_cast<std::uint64_t>(fHeaders))
    LogWarning(u"Merged %1 headers, counted %2"_s.arg(out.Records()).arg(fHeaders));
  DeleteAllPartFiles();
  return true;
}

void THeadersDownload::FinishMerge() {
  fEndTick = fClock.elapsed();
  const QString seek = FinalName(".seek");
  if (QFileInfo(seek).exists() && QFileInfo(seek).size() == 0) QFile::remove(seek);
  SetJobHeaders(fHeaders);
  for (TDownloadedNewsgroup& entry : fDownloaded) {
    entry.done = true;
    ReportGroupInfo(entry, true);
  }
  LogMessage(u"%1 headers written, %2 killed, %3 lines failed, %4 skipped, %5 reconnections"_s.arg(fHeaders)
                 .arg(fKilled)
                 .arg(fFailed)
                 .arg(fSkipped)
                 .arg(fReconnections));
  fMerging = false;
  SetThreadResult(TJobThread::RESULT_SUCCESS);
}

void THeadersDownload::CancelDownload(const char* message) {
  LOG_METHOD("CancelDownload");
  LogError(u"Headers download cancelled: "_s + QString::fromLatin1(message));
  fStopped = true;
  CloseAllConnections();
  for (auto& c : fConnections) c->client->parts.Discard();
  DeleteAllPartFiles();
  // Final files a merge had begun are no use either.
  for (const char* extension : {".hdrs", ".idx", ".seek"}) QFile::remove(FinalName(extension));
  fHeaders = 0;
  SetJobHeaders(0);
  fEndTick = fClock.elapsed();
  fMerging = false;
  fThread->WithJob([message](TJobEntry& job) { job.SetResultString(QString::fromLatin1(message)); });
  SetThreadResult(TJobThread::RESULT_FAILURE);
}

void THeadersDownload::SetThreadResult(int code) {
  fThread->SetResultCode(code);
  fResultSet = true;
  Publish();
  if (fLoop) fLoop->quit();
}

void THeadersDownload::DeleteAllPartFiles() {
  const QDir dir(fSavePath);
  const QString prefix = (fBase + u".G"_s).toLower();
  for (const QString& name : dir.entryList({fBase + u".*"_s}, QDir::Files | QDir::Hidden)) {
    const QString lower = name.toLower();
    if (lower.startsWith(prefix) && lower.endsWith(u".tmp"_s)) QFile::remove(fSavePath + name);
  }
  QFile::remove(SeekPartName());
}

void THeadersDownload::SetFinalJobResult() {
  LOG_METHOD("SetFinalJobResult");
  fThread->WithJob([this](TJobEntry& job) {
    job.Update([this](TJobInfo& info) {
      int successes = 0, none = 0, failures = 0, missing = 0;
      for (const TNewsgroupJob& group : info.newsgroups) {
        switch (group.result) {
          case DOWNLOAD_RESULT_SUCCESS:
            ++successes;
            break;
          case DOWNLOAD_RESULT_NONE:
            ++none;
            break;
          case DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP:
            ++missing;
            ++failures;
            break;
          default:
            ++failures;
            break;
        }
      }
      const auto total = static_cast<int>(info.newsgroups.size());
      if (successes == total) {
        info.result = DOWNLOAD_RESULT_SUCCESS;
        if (fHeaders == 0) info.resultString = u"No headers downloaded"_s;
      } else if (none == total) {
        info.result = DOWNLOAD_RESULT_NONE;
      } else if (failures == total) {
        info.result = DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP;
      } else if (successes == 0) {
        info.result = DOWNLOAD_RESULT_NONE;
      } else {
        info.result = DOWNLOAD_RESULT_FAILURE;
      }
      if (info.result != DOWNLOAD_RESULT_SUCCESS && info.resultString.isEmpty() && missing > 0)
        info.resultString = u"At least one newsgroup didn't exist on the server"_s;
    });
  });
}

void THeadersDownload::TerminateThread() {
  LOG_METHOD("TerminateThread");
  fStopped = true;
  if (fTimer) fTimer->stop();
  SaveDownloadedEmailList();
  FlushRaw();
  if (fRaw.isOpen()) fRaw.close();
  fKill.reset();
  CloseAllConnections();
  if (fEndTick < 0) fEndTick = fClock.elapsed();
  Publish();
}

void THeadersDownload::SaveDownloadedEmailList() {
  if (!fEmails) return;
  LOG_METHOD("SaveDownloadedEmailList");
  QList<QByteArray> lines;
  lines.reserve(static_cast<qsizetype>(fEmails->KeyCount()));
  fEmails->ForEachKey([&lines](std::string_view key, const auto*) {
    lines.append(QByteArray(key.data(), static_cast<qsizetype>(key.size())));
  });
  if (!TLineListFile::Save(fEmailsPath, lines)) LogError(u"Cannot write "_s + fEmailsPath);
}

void THeadersDownload::FlushRaw() {
  if (!fRaw.isOpen() || fRawBuffer.isEmpty()) return;
  if (fRaw.write(fRawBuffer) != fRawBuffer.size()) {
    LogWarning(u"Writing the raw headers file failed: "_s + fRaw.errorString());
    fRaw.close();
  }
  fRawBuffer.resize(0);
}

// ---------------------------------------------------------------------------
// Figures

void THeadersDownload::Tick() {
  Wake(false);
  if (fResultSet || Stopped()) return;
  const qint64 now = fClock.elapsed();
  for (auto& c : fConnections) {
    if (c->range >= 0)
      fRanges[static_cast<std::size_t>(c->range)].percentDone =
          RangePercent(c->rangeLast, c->firstReceived, c->lastReceived);
    if (now - c->speedTick >= kSpeedMs) {
      const quint64 bytes = c->client->BytesReceived();
      c->speed = static_cast<double>(bytes - std::min(bytes, c->speedBytes)) * 1000.0 /
                 static_cast<double>(now - c->speedTick);
      c->speedBytes = bytes;
      c->speedTick = now;
    }
  }
  if (now - fSpeedTick >= kSpeedMs) {
    quint64 bytes = 0;
    for (const auto& c : fConnections) bytes += c->client->BytesReceived();
    const double seconds = static_cast<double>(now - fSpeedTick) / 1000.0;
    fBytesPerSecond = std::max(0.0, static_cast<double>(bytes - std::min(bytes, fSpeedBytes)) / seconds);
    fHeadersPerSecond = std::max(0.0, static_cast<double>(fHeaders - fSpeedHeaders) / seconds);
    fSpeedBytes = bytes;
    fSpeedHeaders = fHeaders;
    fSpeedTick = now;
  }
  // Dates without a readable time take the time of day, which moves on.
  if (++fTicks % 4 == 0) fParser.SetClock(TArticleDateClock::Now());
  fSample = true;
  Publish();
}

void THeadersDownload::Publish() {
  THeadersDownloadProgress p;
  for (const auto& c : fConnections)
    if (c->range >= 0) p.done += fRanges[static_cast<std::size_t>(c->range)].percentDone;
  p.done += 100.0 * static_cast<double>(fFinished.size());
  p.total = 100.0 * static_cast<double>(fRanges.size());
  const qint64 end = fEndTick >= 0 ? fEndTick : fClock.elapsed();
  p.elapsedMs = end - fStartTick;
  if (p.done > 0) p.estimatedTotalMs = static_cast<std::int64_t>(static_cast<double>(p.elapsedMs) * p.total / p.done);
  p.bytesPerSecond = fBytesPerSecond;
  p.headersPerSecond = fHeadersPerSecond;
  p.headersWritten = fHeaders;
  p.headersInGroup = fGroupHeaders;
  p.expectedInGroup = fExpected;
  p.headersKilled = fKilled;
  p.linesReceived = fLines;
  p.linesFailed = fFailed;
  p.linesSkipped = fSkipped;
  for (const auto& c : fConnections)
    if (c->ready && c->client->State() != nntpNotConnected) ++p.activeConnections;
  p.reconnections = fReconnections;
  p.newsgroupsDone = fResultSet ? static_cast<int>(fInfo.newsgroups.size()) : fCurrent;
  p.currentNewsgroup = fCurrent;
  if (fCurrent >= 0 && fCurrent < fInfo.newsgroups.size()) p.currentNewsgroupName = fInfo.newsgroups[fCurrent].name;
  p.lastSubject = fLastSubject;
  p.lastDate = fLastDate;
  p.merging = fMerging;
  p.bytesToMerge = fBytesToMerge;
  p.mergedBytes = fMerging ? 0 : fBytesToMerge;

  TJobStats stats;
  stats.headersDownloaded = fHeaders;
  stats.headersKilled = fKilled;
  stats.timeToCompletion = p.elapsedMs;
  stats.connectionsUsed = fLastRangeCount;
  for (const TDownloadedNewsgroup& entry : fDownloaded) stats.downloaded.append({entry.name, entry.headers});

  fThread->Publish(p, stats);
  SetJobHeaders(fHeaders);
}

void THeadersDownload::ReportGroupInfo(const TDownloadedNewsgroup& entry, bool done) {
  if (fFirstOperation == JOB_OPERATION_GET_HEADERS_RANGE || !fThread->fGroupInfo) return;
  TDownloadedNewsgroup copy = entry;
  copy.done = done;
  fThread->fGroupInfo(copy);
}

void THeadersDownload::SetNewsgroupResult(int index, TDownloadResult result) {
  fThread->WithJob([index, result](TJobEntry& job) { job.SetNewsgroupResult(index, result); });
}

void THeadersDownload::SetJobHeaders(std::int64_t count) {
  fThread->WithJob([count](TJobEntry& job) { job.SetHeadersDownloaded(count); });
}

// ---------------------------------------------------------------------------
// The thread

THeadersDownloadThread::THeadersDownloadThread(TDownloadHeadersJobEntry* job) : TJobThread(job) {}

THeadersDownloadThread::~THeadersDownloadThread() {
  if (isRunning()) {
    Terminate();
    wait();
  }
}

void THeadersDownloadThread::run() {
  LOG_METHOD("THeadersDownloadThread.Execute");
  THeadersDownload engine(this);
  {
    std::lock_guard guard(fLock);
    fEngine = &engine;
  }
  if (!IsTerminating() && engine.Initialize()) {
    QEventLoop loop;
    engine.SetLoop(&loop);
    engine.Start();
    if (!engine.ResultSet() && !IsTerminating()) loop.exec();
    engine.SetLoop(nullptr);
  }
  {
    std::lock_guard guard(fLock);
    fEngine = nullptr;
  }
  // A cancelled download keeps its numbered message and is no success, even
  // when every newsgroup had arrived before the merge failed.
  if (!IsTerminating() && ResultCode() != RESULT_FAILURE) engine.SetFinalJobResult();
  engine.TerminateThread();
}

void THeadersDownloadThread::WakeEngine(bool terminate) {
  std::lock_guard guard(fLock);
  if (!fEngine) return;
  THeadersDownload* engine = fEngine;
  // Runs on the job's thread; dropped if the engine is gone by then.
  QMetaObject::invokeMethod(engine, [engine, terminate] { engine->Wake(terminate); }, Qt::QueuedConnection);
}

void THeadersDownloadThread::FinishNow() {
  TJobThread::FinishNow();
  WakeEngine(false);
}

void THeadersDownloadThread::Terminate() {
  TJobThread::Terminate();
  WakeEngine(true);
}

void THeadersDownloadThread::Publish(const THeadersDownloadProgress& progress, const TJobStats& stats) {
  std::lock_guard guard(fLock);
  fProgress = progress;
  fStats = stats;
}

THeadersDownloadProgress THeadersDownloadThread::Progress() const {
  std::lock_guard guard(fLock);
  THeadersDownloadProgress progress = fProgress;
  if (fMergeWriter) {
    progress.merging = true;
    progress.bytesToMerge = fBytesToMerge;
    progress.mergedBytes = fMergeWriter->MergedBytes();
  }
  return progress;
}

void THeadersDownloadThread::SetMergeWriter(const THeaderFileWriter* writer, std::uint64_t bytesToMerge) {
  std::lock_guard guard(fLock);
  fMergeWriter = writer;
  fBytesToMerge = bytesToMerge;
}

TJobStats THeadersDownloadThread::Stats() const {
  std::lock_guard guard(fLock);
  return fStats;
}

void THeadersDownloadThread::SetStatusText(const QString& text) {
  std::lock_guard guard(fLock);
  fStatusText = text;
}

QString THeadersDownloadThread::StatusText() const {
  std::lock_guard guard(fLock);
  return fStatusText;
}

void THeadersDownloadThread::SetLastError(const QString& text) {
  std::lock_guard guard(fLock);
  fLastError = text;
}

QString THeadersDownloadThread::LastError() const {
  std::lock_guard guard(fLock);
  return fLastError;
}
