#pragma once

#include "app/ReturnCodes.h"
#include "headers/JobEntry.h"
#include "headers/DownloadedNewsgroup.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class THeadersDownloadThread;
class TNewsServerList;
struct TNewsServerEntry;

// Owns the pending and running headers jobs: creates them and their job
// files, loads the pending ones at start-up, starts a job by giving it a
// download thread, stops jobs, and when a thread ends turns its outcome into
// the job's status, saves the job and hands it to the headers manager tab.
// Lives on the user-interface thread; every operation is called there.
//
// The job list is guarded by a re-entrant lock (Lock()), so the tab may read
// the list from within JobComplete, which is emitted while it is held.
class THeadersJobManager : public QObject {
  Q_OBJECT

 public:
  explicit THeadersJobManager(QObject* parent = nullptr);
  // Terminate().
  ~THeadersJobManager() override;

  // The headers directory: job files and header files.
  QString WorkingDirectory() const { return fWorkingDirectory; }
  void SetWorkingDirectory(const QString& dir);
  // The user data directory: "_JobSortIndex.ini" and "_Killfile.txt".
  QString SettingsDirectory() const { return fSettingsDirectory; }
  void SetSettingsDirectory(const QString& dir);

  RETURN_CODES Initialize() { return RC_SUCCESS; }
  // Stops every running job as pending (it starts again next time) and frees all jobs.
  void Terminate();
  // Lists the job files of the working directory that are not completed,
  // oldest first; their other files are deleted (downloads start from the
  // beginning). RC_PARTIAL_SUCCESS when a file could not be read.
  RETURN_CODES LoadJobs();

  // A job from information (new GUID, dates, status by its flags); not listed, not saved.
  std::unique_ptr<TJobEntry> CreateJob(const TJobInfo& info, RETURN_CODES* rc = nullptr) const;
  // CreateJob, a sort index, SaveJob and AddJob; the listed job or null
  // (RC_FAILED_CREATE, RC_SAVE_FAILED, RC_FAILED_ADD).
  TJobEntry* CreateNewJob(const TJobInfo& info, RETURN_CODES* rc = nullptr);
  RETURN_CODES AddJob(std::unique_ptr<TJobEntry> job);

  RETURN_CODES SaveJob(TJobEntry* job);
  RETURN_CODES SaveJobFlags(TJobEntry* job);
  RETURN_CODES SaveJobName(TJobEntry* job);
  RETURN_CODES SaveJobConnectionCount(TJobEntry* job);
  RETURN_CODES SaveJobServer(TJobEntry* job);
  RETURN_CODES SaveJobSize(TJobEntry* job);
  // The statistics of the job's download thread; RC_INVALID_OBJECT without
  // a thread, RC_INVALID_TYPE when it is no download thread.
  RETURN_CODES SaveJobStats(TJobEntry* job);

  // Copies the job's server definition and the download settings into the
  // job, as the headers manager does before StartJob. An unknown server stops
  // the job ("Job stopped - invalid server") and gives RC_NO_SERVERS.
  RETURN_CODES PrepareJob(TJobEntry* job, const TNewsServerList& servers);
  RETURN_CODES PrepareJob(TJobEntry* job, const TNewsServerEntry& server);

  // RC_UNAVAILABLE (not listed), RC_BAD_STATE (neither pending nor stopped),
  // RC_CLEANUP_FAILED (old files could not be deleted), RC_FAILED_CREATE.
  RETURN_CODES StartJob(TJobEntry* job);
  // With keep, a running job is only asked to finish now with what it has.
  // Otherwise its thread is stopped and waited for, its files (not the job
  // file) are deleted, and it gets the new status, which is saved.
  RETURN_CODES StopJob(TJobEntry* job, TJobStatus status, bool keep);
  void StopAllRunningJobs(TJobStatus status);
  // Removes the job from the list and frees it.
  RETURN_CODES DeletePendingJob(TJobEntry* job, bool lock = true);
  bool DeleteJobFiles(TJobEntry* job, bool includeJobFile);
  bool IsListed(const TJobEntry* job) const;

  // The jobs in list order (creation order; oldest first after LoadJobs).
  QList<TJobEntry*> Jobs() const;
  int RunningCount() const;
  // What the scheduling timer starts: the first pending job while none runs.
  TJobEntry* NextJobToStart() const;
  std::recursive_mutex& Lock() const { return fLock; }

  // The texts the headers manager shows for a failed StartJob.
  static QString StartErrorText(RETURN_CODES rc);

  // Called for every new download thread before it starts (time-outs and
  // connection attempts of korvel-cli and the tests).
  void SetThreadSetup(std::function<void(THeadersDownloadThread&)> setup) { fThreadSetup = std::move(setup); }

 signals:
  // A job's thread has ended. Emitted on this thread while the list lock is
  // held; connect directly. job->Thread() is still the ended thread during
  // the call (its ResultCode(), Stats() and Progress() can be read), and the
  // job's status is already set: JOB_STATUS_COMPLETED when its headers are
  // ready. For a completed job, set *reply to 0 when the tab took it into
  // its completed list (the job then leaves this list and is freed right
  // after the call); any other reply leaves it here, stopped. For other jobs
  // the reply is ignored.
  void JobComplete(TJobEntry* job, int* reply);
  // From a job's thread (queued): what GROUP reported, or a newsgroup done.
  void GroupInfo(const TDownloadedNewsgroup& info);
  // A job was added, removed, started or ended.
  void JobsChanged();

 private:
  THeadersDownloadThread* CreateThreadForJob(TJobEntry* job);
  void ThreadTerminate(THeadersDownloadThread* thread);
  RETURN_CODES SaveKey(TJobEntry* job, int key);
  RETURN_CODES SaveStatsOf(TJobEntry* job, THeadersDownloadThread* thread);
  std::vector<std::unique_ptr<TJobEntry>>::iterator Find(const TJobEntry* job);

  QString fWorkingDirectory;
  QString fSettingsDirectory;
  mutable std::recursive_mutex fLock;
  std::vector<std::unique_ptr<TJobEntry>> fJobs;
  std::mutex fSortIndexLock;
  std::function<void(THeadersDownloadThread&)> fThreadSetup;
};
