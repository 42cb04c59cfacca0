#include "headers/CompletedJobEntry.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/JobThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A job thread that counts headers into its job until it is told to stop.
class TCountingThread : public TJobThread {
 public:
  using TJobThread::TJobThread;
  std::atomic<bool> started{false};
  std::atomic<bool> lostJob{false};

 protected:
  void run() override {
    started = true;
    while (!IsTerminating()) {
      if (!WithJob([](TJobEntry& job) { job.AddHeadersDownloaded(1); })) lostJob = true;
      if (FinishNowRequested()) {
        SetResultCode(RESULT_SUCCESS);
        return;
      }
      QThread::usleep(100);
    }
  }
};

bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 10000) {
    QCoreApplication::processEvents();
    QThread::msleep(1);
  }
  return done();
}

TJobInfo Info() {
  TJobInfo info;
  info.newsgroups = {{u"a.b"_s, {}, DOWNLOAD_RESULT_NONE}, {u"c.d"_s, {}, DOWNLOAD_RESULT_NONE}};
  info.headersDownloaded = 7;
  return info;
}

}  // namespace

TEST(JobEntry, FieldsSharedWithTheJobThread) {
  TDownloadHeadersJobEntry job(Info());
  EXPECT_EQ(job.HeadersDownloaded(), 7);
  EXPECT_FALSE(job.WasDataReceived());  // no thread yet
  job.SetNewsgroupResult(1, DOWNLOAD_RESULT_FAILURE);
  job.SetNewsgroupResult(2, DOWNLOAD_RESULT_SUCCESS);  // outside the list: ignored
  job.SetNewsgroupResult(-1, DOWNLOAD_RESULT_SUCCESS);
  job.AddHeadersDownloaded(3);
  const TJobInfo info = job.Info();
  EXPECT_EQ(info.newsgroups[1].result, DOWNLOAD_RESULT_FAILURE);
  EXPECT_EQ(info.headersDownloaded, 10);
  job.Update([](TJobInfo& i) { i.headersDownloaded += 5; });
  EXPECT_EQ(job.HeadersDownloaded(), 15);
  EXPECT_EQ(job.SingleConnectionThreashold, 250);

  TCompletedJobEntry completed(info);
  EXPECT_FALSE(completed.WasDataReceived());
  completed.FinishNow();  // nothing to finish
}

TEST(JobEntry, FinishNowReachesTheThread) {
  TDownloadHeadersJobEntry job(Info());
  auto* thread = new TCountingThread(&job);
  job.SetThread(thread);
  thread->start();
  ASSERT_TRUE(WaitFor([&] { return job.WasDataReceived() && job.HeadersDownloaded() > 7; }));
  job.FinishNow();
  ASSERT_TRUE(thread->wait(10000));
  EXPECT_EQ(thread->ResultCode(), TJobThread::RESULT_SUCCESS);
  delete thread;
  EXPECT_EQ(job.Thread(), nullptr);  // the job notices its thread is gone
}

// Destroying a job whose thread still runs: the thread loses the job, is
// asked to stop and frees itself; it never touches the freed job.
TEST(JobEntry, DestroyedWhileItsThreadRuns) {
  auto job = std::make_unique<TDownloadHeadersJobEntry>(Info());
  QPointer<TCountingThread> thread = new TCountingThread(job.get());
  job->SetThread(thread);
  thread->start();
  ASSERT_TRUE(WaitFor([&] { return thread->started.load(); }));
  job.reset();
  ASSERT_TRUE(WaitFor([&] { return thread.isNull(); })) << "the thread did not free itself";
}
