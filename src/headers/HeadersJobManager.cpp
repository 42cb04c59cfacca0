#include "headers/HeadersJobManager.h"

#include "app/AppPaths.h"
#include "app/DayCount.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/HeadersDownloadThread.h"
#include "headers/JobFile.h"
#include "headers/KillFile.h"
#include "nntp/NewsServerList.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

THeadersJobManager::THeadersJobManager(QObject* parent) : QObject(parent) {
  qRegisterMetaType<TDownloadedNewsgroup>("TDownloadedNewsgroup");
}

THeadersJobManager::~THeadersJobManager() { Terminate(); }

void THeadersJobManager::SetWorkingDirectory(const QString& dir) { fWorkingDirectory = WithTrailingSlash(dir); }

void THeadersJobManager::SetSettingsDirectory(const QString& dir) { fSettingsDirectory = WithTrailingSlash(dir); }

void THeadersJobManager::Terminate() {
  LOG_METHOD("Terminate");
  StopAllRunningJobs(JOB_STATUS_PENDING);
  std::lock_guard guard(fLock);
  fJobs.clear();
}

std::vector<std::unique_ptr<TJobEntry>>::iterator THeadersJobManager::Find(const TJobEntry* job) {
  return std::find_if(fJobs.begin(), fJobs.end(), [job](const auto& j) { return j.get() == job; });
}

bool THeadersJobManager::IsListed(const TJobEntry* job) const {
  std::lock_guard guard(fLock);
  return job && std::any_of(fJobs.cbegin(), fJobs.cend(), [job](const auto& j) { return j.get() == job; });
}

QList<TJobEntry*> THeadersJobManager::Jobs() const {
  std::lock_guard guard(fLock);
  QList<TJobEntry*> jobs;
  for (const auto& j : fJobs) jobs.append(j.get());
  return jobs;
}

int THeadersJobManager::RunningCount() const {
  std::lock_guard guard(fLock);
  return static_cast<int>(
      std::count_if(fJobs.cbegin(), fJobs.cend(), [](const auto& j) { return j->Status() == JOB_STATUS_RUNNING; }));
}

TJobEntry* THeadersJobManager::NextJobToStart() const {
  std::lock_guard guard(fLock);
  int running = 0;
  TJobEntry* pending = nullptr;
  for (const auto& j : fJobs) {
    const TJobStatus status = j->Status();
    if (status == JOB_STATUS_RUNNING) ++running;
    if (status == JOB_STATUS_PENDING && !pending) pending = j.get();
  }
  return running < 1 ? pending : nullptr;
}

// ---------------------------------------------------------------------------
// Creating and loading

std::unique_ptr<TJobEntry> THeadersJobManager::CreateJob(const TJobInfo& info, RETURN_CODES* rc) const {
  LOG_METHOD("CreateJob");
  const QUuid guid = QUuid::createUuid();
  if (guid.isNull()) {
    if (rc) *rc = RC_FAILED_CREATE;
    return nullptr;
  }
  std::unique_ptr<TJobEntry> job;
  if (info.type == JOB_TYPE_DOWNLOAD_HEADERS)
    job = std::make_unique<TDownloadHeadersJobEntry>(info);
  else
    job = std::make_unique<TJobEntry>(info);
  job->Update([&guid](TJobInfo& i) {
    if (i.flags.Has(JOB_FLAG_NO_AUTO_START))
      i.status = JOB_STATUS_STOPPED;
    else if (i.status == JOB_STATUS_UNKNOWN)
      i.status = JOB_STATUS_PENDING;
    i.guid = guid;
    i.dateAdded = NowAsDays();
    i.dateCompleted = 0;
    i.result = DOWNLOAD_RESULT_NONE;
    i.resultString.clear();
  });
  if (rc) *rc = RC_SUCCESS;
  return job;
}

TJobEntry* THeadersJobManager::CreateNewJob(const TJobInfo& info, RETURN_CODES* rc) {
  LOG_METHOD("CreateNewJob");
  RETURN_CODES result = RC_SUCCESS;
  std::unique_ptr<TJobEntry> job = CreateJob(info, &result);
  if (!job) {
    if (rc) *rc = result;
    return nullptr;
  }
  {
    std::lock_guard guard(fSortIndexLock);
    const std::int64_t index = TJobFile::NextJobSortIndex(fSettingsDirectory);
    job->Update([index](TJobInfo& i) { i.sortIndex = index; });
  }
  if (SaveJob(job.get()) != RC_SUCCESS) {
    if (rc) *rc = RC_SAVE_FAILED;
    return nullptr;
  }
  TJobEntry* listed = job.get();
  const QUuid guid = job->Guid();
  if (AddJob(std::move(job)) != RC_SUCCESS) {
    TJobFile::DeleteJobFiles(fWorkingDirectory, guid, true);
    if (rc) *rc = RC_FAILED_ADD;
    return nullptr;
  }
  if (rc) *rc = RC_SUCCESS;
  return listed;
}

RETURN_CODES THeadersJobManager::AddJob(std::unique_ptr<TJobEntry> job) {
  if (!job) return RC_FAILED_ADD;
  {
    std::lock_guard guard(fLock);
    try {
      fJobs.push_back(std::move(job));
    } catch (const std::bad_alloc&) {
      return RC_FAILED_ADD;
    }
  }
  emit JobsChanged();
  return RC_SUCCESS;
}

RETURN_CODES THeadersJobManager::LoadJobs() {
  LOG_METHOD("LoadJobs");
  if (fWorkingDirectory.isEmpty() || !QFileInfo(fWorkingDirectory).isDir()) return RC_DEST_NOT_READY;
  int errors = 0;
  std::vector<std::unique_ptr<TJobEntry>> loaded;
  for (const QString& name : QDir(fWorkingDirectory).entryList(QDir::Files)) {
    if (!name.endsWith(QLatin1String(TJobFile::kExtension), Qt::CaseInsensitive)) continue;
    TJobInfo info;
    if (TJobFile::Load(fWorkingDirectory + name, info) != RC_SUCCESS) {
      LogError(u"Error reading from ini file. ("_s + name + u')');
      ++errors;
      continue;
    }
    if (info.status == JOB_STATUS_COMPLETED) continue;  // the headers manager lists those
    // A job saved while it ran did not end: it waits to run again.
    if (info.status == JOB_STATUS_RUNNING) info.status = JOB_STATUS_PENDING;
    std::unique_ptr<TJobEntry> job = CreateJob(info);
    if (!job) {
      ++errors;
      continue;
    }
    job->Update([&info](TJobInfo& i) {
      i.guid = info.guid;
      if (info.dateAdded != 0) i.dateAdded = info.dateAdded;
      if (info.dateCompleted != 0) i.dateCompleted = info.dateCompleted;
    });
    TJobFile::DeleteJobFiles(fWorkingDirectory, info.guid, false);
    loaded.push_back(std::move(job));
  }
  std::stable_sort(loaded.begin(), loaded.end(),
                   [](const auto& a, const auto& b) { return a->Info().dateAdded < b->Info().dateAdded; });
  for (auto& job : loaded)
    if (AddJob(std::move(job)) != RC_SUCCESS) ++errors;
  return errors > 0 ? RC_PARTIAL_SUCCESS : RC_SUCCESS;
}

// ---------------------------------------------------------------------------
// Saving

RETURN_CODES THeadersJobManager::SaveJob(TJobEntry* job) {
  if (!job) return RC_INVALID_PARAMS;
  return TJobFile::SaveJob(fWorkingDirectory, job->Info());
}

RETURN_CODES THeadersJobManager::SaveKey(TJobEntry* job, int key) {
  if (!job) return RC_INVALID_PARAMS;
  return TJobFile::SaveJobKey(fWorkingDirectory, job->Info(), static_cast<TJobFile::TJobKey>(key));
}

RETURN_CODES THeadersJobManager::SaveJobFlags(TJobEntry* job) { return SaveKey(job, TJobFile::KEY_FLAGS); }
RETURN_CODES THeadersJobManager::SaveJobName(TJobEntry* job) { return SaveKey(job, TJobFile::KEY_NAME); }
RETURN_CODES THeadersJobManager::SaveJobConnectionCount(TJobEntry* job) {
  return SaveKey(job, TJobFile::KEY_CONNECTION_COUNT);
}
RETURN_CODES THeadersJobManager::SaveJobServer(TJobEntry* job) { return SaveKey(job, TJobFile::KEY_SERVER_NAME); }
RETURN_CODES THeadersJobManager::SaveJobSize(TJobEntry* job) { return SaveKey(job, TJobFile::KEY_FILE_SIZE); }

RETURN_CODES THeadersJobManager::SaveStatsOf(TJobEntry* job, THeadersDownloadThread* thread) {
  return TJobFile::SaveJobStats(fWorkingDirectory, job->Guid(), thread->Stats());
}

RETURN_CODES THeadersJobManager::SaveJobStats(TJobEntry* job) {
  if (!job) return RC_INVALID_PARAMS;
  TJobThread* thread = job->Thread();
  if (!thread) return RC_INVALID_OBJECT;
  auto* download = qobject_cast<THeadersDownloadThread*>(thread);
  if (!download) return RC_INVALID_TYPE;
  return SaveStatsOf(job, download);
}

// ---------------------------------------------------------------------------
// Starting and stopping

RETURN_CODES THeadersJobManager::PrepareJob(TJobEntry* job, const TNewsServerList& servers) {
  LOG_METHOD("PrepareJob");
  if (!job) return RC_INVALID_PARAMS;
  const QString name = job->Info().serverName;
  TNewsServerEntry server = TNewsServerEntry::Init();
  if (name.isEmpty() || !servers.Get(name, server)) {
    LogError(QString::asprintf("Error looking up the news server %s", qPrintable(name)));
    const RETURN_CODES stopped = StopJob(job, JOB_STATUS_STOPPED, false);
    job->SetResultString(stopped == RC_SUCCESS ? u"Job stopped - invalid server"_s
                                               : u"Invalid server - error stopping job"_s);
    job->SetResult(DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP);
    return RC_NO_SERVERS;
  }
  return PrepareJob(job, server);
}

RETURN_CODES THeadersJobManager::PrepareJob(TJobEntry* job, const TNewsServerEntry& server) {
  auto* download = dynamic_cast<TDownloadHeadersJobEntry*>(job);
  if (!download) return RC_INVALID_TYPE;
  download->Update([&server](TJobInfo& i) { i.server = server; });
  download->SingleConnectionThreashold = 250;
  download->HeadersSavePath = fWorkingDirectory;
  download->MessageIDPath = Paths().readMarksDir;
  download->Killfile = fSettingsDirectory.isEmpty()
                           ? QString()
                           : FindFileNoCase(fSettingsDirectory, QLatin1String(TKillFile::kFileName));
  download->DownloadedEmailsFile =
      Settings().fSaveDownloadedEmails ? Paths().applicationDir + u"emails.txt"_s : QString();
  download->RawHeadersFile = Settings().gRawHeadersFile;
  return RC_SUCCESS;
}

THeadersDownloadThread* THeadersJobManager::CreateThreadForJob(TJobEntry* job) {
  LOG_METHOD("CreateThreadForJob");
  auto* download = dynamic_cast<TDownloadHeadersJobEntry*>(job);
  if (!download || job->Info().type != JOB_TYPE_DOWNLOAD_HEADERS) {
    LogError("Unknown thread type to create");
    return nullptr;
  }
  auto* thread = new (std::nothrow) THeadersDownloadThread(download);
  if (!thread) return nullptr;
  // Posted, never sent: the job's thread must not wait for this one, which
  // may itself be waiting for the job's thread to stop.
  thread->SetGroupInfoHandler([this](const TDownloadedNewsgroup& info) { emit GroupInfo(info); });
  QPointer<THeadersDownloadThread> guarded(thread);
  connect(thread, &QThread::finished, this, [this, guarded] {
    if (guarded) ThreadTerminate(guarded);
  });
  if (fThreadSetup) fThreadSetup(*thread);
  return thread;
}

RETURN_CODES THeadersJobManager::StartJob(TJobEntry* job) {
  LOG_METHOD("StartJob");
  std::lock_guard guard(fLock);
  if (!job || Find(job) == fJobs.end()) return RC_UNAVAILABLE;
  const TJobStatus status = job->Status();
  if (status != JOB_STATUS_PENDING && status != JOB_STATUS_STOPPED) return RC_BAD_STATE;
  if (!TJobFile::DeleteJobFiles(fWorkingDirectory, job->Guid(), false)) {
    LogError("Initial job cleanup failed.");
    return RC_CLEANUP_FAILED;
  }
  THeadersDownloadThread* thread = CreateThreadForJob(job);
  if (!thread) return RC_FAILED_CREATE;
  job->SetThread(thread);
  job->Update([](TJobInfo& i) {
    i.status = JOB_STATUS_RUNNING;
    i.result = DOWNLOAD_RESULT_NONE;
    i.resultString.clear();
  });
  thread->start(QThread::NormalPriority);
  emit JobsChanged();
  return RC_SUCCESS;
}

RETURN_CODES THeadersJobManager::StopJob(TJobEntry* job, TJobStatus status, bool keep) {
  LOG_METHOD("StopJob");
  if (!job) return RC_INVALID_PARAMS;
  std::lock_guard guard(fLock);
  const bool wasRunning = job->Status() == JOB_STATUS_RUNNING;
  TJobThread* thread = job->Thread();
  if (wasRunning && thread && !thread->IsTerminating()) {
    if (keep) {
      job->FinishNow();
      return RC_SUCCESS;
    }
    // Its end is handled here, not by ThreadTerminate.
    disconnect(thread, &QThread::finished, this, nullptr);
    thread->SetFreeOnTerminate(false);
    thread->Terminate();
    thread->wait();
    thread->DetachJob();
    job->SetThread(nullptr);
    delete thread;
  }
  if (wasRunning) DeleteJobFiles(job, false);
  job->SetStatus(status);
  const RETURN_CODES rc = SaveJob(job);
  emit JobsChanged();
  return rc;
}

void THeadersJobManager::StopAllRunningJobs(TJobStatus status) {
  LOG_METHOD("StopAllRunningJobs");
  std::lock_guard guard(fLock);
  for (const auto& j : fJobs)
    if (j->Status() == JOB_STATUS_RUNNING) StopJob(j.get(), status, false);
}

RETURN_CODES THeadersJobManager::DeletePendingJob(TJobEntry* job, bool lock) {
  LOG_METHOD("DeletePendingJob");
  std::unique_lock guard(fLock, std::defer_lock);
  if (lock) guard.lock();
  const auto it = Find(job);
  if (it == fJobs.end()) return RC_UNAVAILABLE;
  std::unique_ptr<TJobEntry> owned = std::move(*it);
  fJobs.erase(it);
  owned.reset();
  emit JobsChanged();
  return RC_SUCCESS;
}

bool THeadersJobManager::DeleteJobFiles(TJobEntry* job, bool includeJobFile) {
  if (!job) return false;
  return TJobFile::DeleteJobFiles(fWorkingDirectory, job->Guid(), includeJobFile);
}

// ---------------------------------------------------------------------------
// A thread has ended

void THeadersJobManager::ThreadTerminate(THeadersDownloadThread* thread) {
  LOG_METHOD("ThreadTerminate");
  std::lock_guard guard(fLock);
  TJobEntry* job = nullptr;
  if (!thread->WithJob([&job](TJobEntry& j) { job = &j; })) {
    // Its job was freed while it ran: the thread frees itself.
    return;
  }
  thread->DetachJob();
  if (!IsListed(job) || job->Status() != JOB_STATUS_RUNNING || job->Thread() != thread) {
    thread->deleteLater();
    return;
  }

  const int code = thread->ResultCode();
  TJobStatus status = code == TJobThread::RESULT_NONE      ? JOB_STATUS_PENDING
                      : code == TJobThread::RESULT_SUCCESS ? JOB_STATUS_COMPLETED
                                                           : JOB_STATUS_STOPPED;
  bool completed = false;
  if (status == JOB_STATUS_COMPLETED) {
    const TJobInfo info = job->Info();
    // Headers the user chose to keep ("finish now") with no newsgroup failed
    // are a completed download, not a stopped one that would be restarted
    // (and its headers deleted) at the next start.
    const bool kept = thread->FinishNowRequested() && info.headersDownloaded > 0 &&
                      std::none_of(info.newsgroups.cbegin(), info.newsgroups.cend(), [](const TNewsgroupJob& g) {
                        return g.result == DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP || g.result == DOWNLOAD_RESULT_FAILURE;
                      });
    if (info.result == DOWNLOAD_RESULT_SUCCESS || kept) {
      completed = true;
      job->Update([](TJobInfo& i) {
        i.result = DOWNLOAD_RESULT_SUCCESS;
        i.dateCompleted = NowAsDays();
      });
    } else {
      status = JOB_STATUS_STOPPED;
    }
    job->SetStatus(status);
    const RETURN_CODES stats = SaveStatsOf(job, thread);
    const RETURN_CODES saved = SaveJob(job);
    if (stats != RC_SUCCESS || saved != RC_SUCCESS) {
      LogError(QString::asprintf("Error %s/%s saving a completed job", ReturnCodeName(stats), ReturnCodeName(saved)));
      completed = false;
      status = JOB_STATUS_STOPPED;
      job->SetStatus(status);
      if (saved == RC_SUCCESS) SaveJob(job);
    }
  } else {
    job->SetStatus(status);
    // A stopped job stays stopped (and tells why) after a restart.
    SaveJob(job);
  }
  LogMessage(u"Job \""_s + job->Info().name + u"\" ended: "_s + JobStatusName(status) + u", "_s +
             DownloadResultName(job->Result()) + u", "_s + job->ResultString());

  int reply = 1;
  emit JobComplete(job, &reply);
  job->SetThread(nullptr);
  thread->deleteLater();
  if (completed) {
    if (reply == 0)
      DeletePendingJob(job, false);
    else
      job->SetStatus(JOB_STATUS_STOPPED);
  }
  emit JobsChanged();
}

QString THeadersJobManager::StartErrorText(RETURN_CODES rc) {
  switch (rc) {
    case RC_SUCCESS:
      return {};
    case RC_BAD_STATE:
      return u"The selected task already running."_s;
    case RC_CLEANUP_FAILED:
      return u"The selected task failed to perform initial cleanup and was unable to start. (Are files opened by "
             u"another instance?)"_s;
    default:
      return u"There was an error starting the download. Restart the application and try again."_s;
  }
}
