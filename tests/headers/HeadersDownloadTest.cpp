// The headers download and the job manager against the scripted server:
// connections that drop or go silent, refused newsgroups, jobs stopped or
// finished early, files that cannot be created, and the job list itself.
#include "DownloadFixture.h"

#include "app/LineListFile.h"
#include "headers/DownloadHeadersJobEntry.h"
#include "headers/JobFile.h"
#include "nntp/NewsServerList.h"
#include "servers/FakeNntpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kXoverStatus = "224 Overview information follows";

// Overview lines of articles first..last: binary parts of a few posters and
// now and then a reply with references.
QList<QByteArray> Overview(int first, int last) {
  QList<QByteArray> lines;
  for (int n = first; n <= last; ++n) {
    const QByteArray number = QByteArray::number(n);
    QByteArray line = number;
    if (n % 10 == 0)
      line += "\tRe: question " + QByteArray::number(n / 100) + "\tReader " + QByteArray::number(n % 13) +
              " <r@example.com>\tMon, 5 Mar 2007 14:03:10 +0100\t<" + number + ".fake@example.com>\t<q" +
              QByteArray::number(n / 100) + "@example.com>\t2000\t40";
    else
      line += "\tholiday.part" + QByteArray::number(n / 50) + ".rar yEnc (" + QByteArray::number(n % 50 + 1) +
              "/50)\tposter" + QByteArray::number(n % 7) + "@example.com\t6 Mar 2007 10:00:00 GMT\t<" + number +
              ".fake@example.com>\t\t397000\t3050";
    lines << line;
  }
  return lines;
}

QByteArray Wire(const QList<QByteArray>& lines) {
  QByteArray wire = kXoverStatus + "\r\n";
  for (const QByteArray& line : lines) wire += line + "\r\n";
  return wire;
}

void ServeXover(TFakeNntpServer& server, int first, int last) {
  server.On("XOVER " + QByteArray::number(first) + '-' + QByteArray::number(last))
      .MultiLine(kXoverStatus, Overview(first, last));
}

void ServeGroup(TFakeNntpServer& server, const QByteArray& name, int count) {
  server.On("GROUP " + name)
      .Line("211 " + QByteArray::number(count) + " 1 " + QByteArray::number(count) + ' ' + name);
}

std::vector<std::uint32_t> Numbers(const std::vector<TStoredHeader>& headers) {
  std::vector<std::uint32_t> numbers;
  for (const TStoredHeader& h : headers) numbers.push_back(h.fields.number);
  return numbers;
}

std::vector<std::uint32_t> Sequence(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> numbers;
  for (std::uint32_t n = first; n <= last; ++n) numbers.push_back(n);
  return numbers;
}

}  // namespace

// A connection lost in the middle of an XOVER reply: its range is fetched
// again from its start after reconnecting, and the files hold every header
// once. One connection renames its part files and writes the seek entries as
// it goes; four merge them; the files come out the same.
TEST(HeadersDownload, DroppedXoverRefetchesItsRange) {
  constexpr int kCount = 12345;
  QByteArray files[2][3];
  for (int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", kCount);
    const std::vector<std::pair<int, int>> ranges =
        connections == 1 ? std::vector<std::pair<int, int>>{{1, 12345}}
                         : std::vector<std::pair<int, int>>{{1, 3086}, {3087, 6172}, {6173, 9258}, {9259, 12345}};
    // The second range (or the only one) breaks off in the middle of a line, once.
    const auto& [dropFirst, dropLast] = ranges[ranges.size() == 1 ? 0 : 1];
    server.On("XOVER " + QByteArray::number(dropFirst) + '-' + QByteArray::number(dropLast))
        .Send(Wire(Overview(dropFirst, dropFirst + 999)) + "123\tHalf a li")
        .Close()
        .Times(1);
    for (const auto& [first, last] : ranges) ServeXover(server, first, last);
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.fake"_s}, connections, server.Port());
    ASSERT_NE(job, nullptr);
    const QUuid guid = job->Guid();
    const TJobOutcome outcome = run.Run(job);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.threadResult, TJobThread::RESULT_SUCCESS);
    EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
    EXPECT_EQ(outcome.info.result, DOWNLOAD_RESULT_SUCCESS);
    EXPECT_EQ(outcome.info.headersDownloaded, kCount);
    EXPECT_EQ(outcome.progress.reconnections, 1);
    EXPECT_EQ(outcome.stats.headersDownloaded, kCount);
    EXPECT_EQ(outcome.stats.connectionsUsed, connections);
    ASSERT_EQ(outcome.stats.downloaded.size(), 1);
    EXPECT_EQ(outcome.stats.downloaded[0].headers, kCount);

    const std::vector<TStoredHeader> headers = ReadHeaderFiles(run.File(guid, u".hdrs"_s), run.File(guid, u".idx"_s));
    EXPECT_EQ(Numbers(headers), Sequence(1, kCount));
    // Seek entries after 5,000 and 10,000 records, at the text offsets of those records.
    const std::vector<std::uint64_t> seek = SeekEntries(run.File(guid, u".seek"_s));
    ASSERT_EQ(seek.size(), 2u);
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < 10000; ++i) {
      if (i == 5000) {
        EXPECT_EQ(seek[0], offset);
      }
      offset += headers[i].subject.size() + headers[i].sender.size() + headers[i].messageId.size() +
                headers[i].references.size() + 4;
    }
    EXPECT_EQ(seek[1], offset);
    EXPECT_EQ(run.OtherFiles(guid), QStringList({TJobFile::GuidText(guid) + u".hdrs"_s,
                                                 TJobFile::GuidText(guid) + u".idx"_s,
                                                 TJobFile::GuidText(guid) + u".seek"_s}));
    // The job file tells the statistics.
    TJobInfo saved;
    ASSERT_EQ(TJobFile::Load(TJobFile::PathOf(run.dir.Path(), guid), saved), RC_SUCCESS);
    EXPECT_EQ(saved.status, JOB_STATUS_COMPLETED);
    EXPECT_EQ(saved.headersDownloaded, kCount);

    const int slot = connections == 1 ? 0 : 1;
    files[slot][0] = FileBytes(run.File(guid, u".hdrs"_s));
    files[slot][1] = FileBytes(run.File(guid, u".idx"_s));
    files[slot][2] = FileBytes(run.File(guid, u".seek"_s));
  }
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(files[0][k] == files[1][k]) << "file " << k << " differs";
}

// A range given back by a dropped connection goes to a connection that has
// finished its own range, not only to the dropped one once it is back: here
// the dropped one never gets its newsgroup again (GROUP stays unanswered).
TEST(HeadersDownload, IdleConnectionTakesARangeGivenBack) {
  TFakeNntpServer server;
  server.On("GROUP alt.fake").Line("211 1000 1 1000 alt.fake").Times(2);
  server.On("GROUP alt.fake");  // silence
  server.On("XOVER 1-500").Pause(500).Send(Wire(Overview(1, 200)) + "201\tHalf").Close().Times(1);
  ServeXover(server, 1, 500);
  ServeXover(server, 501, 1000);
  ASSERT_TRUE(server.Start());

  TDownloadRun run;
  const TJobOutcome outcome = run.Run(run.Create({u"alt.fake"_s}, 2, server.Port()), 20000);
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
  EXPECT_EQ(outcome.info.headersDownloaded, 1000);
  EXPECT_EQ(server.Commands().count("XOVER 1-500"), 2);
  EXPECT_EQ(Numbers(ReadHeaderFiles(run.File(outcome.info.guid, u".hdrs"_s), run.File(outcome.info.guid, u".idx"_s))),
            Sequence(1, 1000));
}

// One connection, several newsgroups, only one of them with headers: its
// part files become the header files as they are; the seek entries are
// only written during the download of a one-newsgroup job.
TEST(HeadersDownload, OneConnectionAndOneNewsgroupWithHeadersRenamesItsParts) {
  TFakeNntpServer server;
  server.On("GROUP alt.empty").Line("211 0 0 0 alt.empty");
  ServeGroup(server, "alt.fake", 6000);
  ServeXover(server, 1, 6000);
  ASSERT_TRUE(server.Start());

  TDownloadRun run;
  const TJobOutcome outcome = run.Run(run.Create({u"alt.empty"_s, u"alt.fake"_s}, 1, server.Port()));
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
  const QUuid guid = outcome.info.guid;
  EXPECT_EQ(Numbers(ReadHeaderFiles(run.File(guid, u".hdrs"_s), run.File(guid, u".idx"_s))), Sequence(1, 6000));
  EXPECT_EQ(run.OtherFiles(guid),
            QStringList({TJobFile::GuidText(guid) + u".hdrs"_s, TJobFile::GuidText(guid) + u".idx"_s}));
}

TEST(HeadersDownload, SilentConnectionTimesOutAndReconnects) {
  TFakeNntpServer server;
  ServeGroup(server, "alt.fake", 500);
  server.On("XOVER 1-500").Send(Wire(Overview(1, 100))).Times(1);  // then nothing
  ServeXover(server, 1, 500);
  ASSERT_TRUE(server.Start());

  TDownloadRun run;
  run.setup = [](THeadersDownloadThread& thread) { thread.SetTimeout(1); };
  TJobEntry* job = run.Create({u"alt.fake"_s}, 1, server.Port());
  const TJobOutcome outcome = run.Run(job);
  ASSERT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
  EXPECT_EQ(outcome.info.headersDownloaded, 500);
  EXPECT_EQ(outcome.progress.reconnections, 1);
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_EQ(Numbers(ReadHeaderFiles(run.File(outcome.info.guid, u".hdrs"_s), run.File(outcome.info.guid, u".idx"_s))),
            Sequence(1, 500));
}

// A range that breaks off at the same place every time (a line too long for
// the client, a server that always drops there) is asked for again with
// growing pauses: the lines that came before it are no sign the connection
// is well, or the job would hammer the server for as long as it runs.
TEST(HeadersDownload, RangeThatAlwaysBreaksBacksOff) {
  struct TCase {
    const char* name;
    QByteArray tail;  // after 100 good lines
    bool close;
  };
  const TCase cases[] = {
      {"dropped", "101\tHalf a li", true},
      {"line too long", "101\t" + QByteArray(1100 * 1024, 'x') + "\r\n", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", 500);
    auto& rule = server.On("XOVER 1-500").Send(Wire(Overview(1, 100)) + c.tail);
    if (c.close) rule.Close();
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.fake"_s}, 1, server.Port());
    ASSERT_EQ(run.manager.StartJob(job), RC_SUCCESS);
    TDownloadRun::SpinUntil([] { return false; }, 2500);
    ASSERT_EQ(run.manager.StopJob(job, JOB_STATUS_STOPPED, false), RC_SUCCESS);
    // At once, after 1 s, after 3 s: three connections in 2.5 s, not hundreds.
    EXPECT_GE(server.Connections(), 2);
    EXPECT_LE(server.Connections(), 4);
    EXPECT_EQ(run.OtherFiles(job->Guid()), QStringList());
  }
}

// Stopping a running job (by the user, or because the program exits) leaves
// only its job file, with the status asked for.
TEST(HeadersDownload, StoppedJobLeavesNoHeaderFiles) {
  for (TJobStatus status : {JOB_STATUS_STOPPED, JOB_STATUS_PENDING}) {
    SCOPED_TRACE(JobStatusName(status).toStdString());
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", 4000);
    for (const auto& [first, last] : {std::pair{1, 1000}, {1001, 2000}, {2001, 3000}, {3001, 4000}})
      server.On("XOVER " + QByteArray::number(first) + '-' + QByteArray::number(last))
          .SendSlowly(Wire(Overview(first, last)) + ".\r\n", 4000, 20);
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.fake"_s}, 4, server.Port());
    const QUuid guid = job->Guid();
    bool ended = false;
    QObject::connect(&run.manager, &THeadersJobManager::JobComplete, [&ended](TJobEntry*, int*) { ended = true; });
    ASSERT_EQ(run.manager.StartJob(job), RC_SUCCESS);
    ASSERT_TRUE(TDownloadRun::SpinUntil([job] { return job->WasDataReceived(); }));
    EXPECT_FALSE(run.OtherFiles(guid).isEmpty());  // part files
    if (status == JOB_STATUS_STOPPED)
      ASSERT_EQ(run.manager.StopJob(job, JOB_STATUS_STOPPED, false), RC_SUCCESS);
    else
      run.manager.StopAllRunningJobs(JOB_STATUS_PENDING);
    EXPECT_EQ(job->Status(), status);
    EXPECT_EQ(job->Thread(), nullptr);
    EXPECT_EQ(run.OtherFiles(guid), QStringList());
    TDownloadRun::SpinUntil([] { return false; }, 200);
    EXPECT_FALSE(ended) << "a stopped job is not handed over";
    TJobInfo saved;
    ASSERT_EQ(TJobFile::Load(TJobFile::PathOf(run.dir.Path(), guid), saved), RC_SUCCESS);
    EXPECT_EQ(saved.status, status);
    // A stopped job can start again.
    EXPECT_EQ(run.manager.NextJobToStart(), status == JOB_STATUS_PENDING ? job : nullptr);
  }
}

// A finish-now during the second of three newsgroups keeps what arrived:
// success, success, none, and a partial job result. Through the manager
// ("Keep"), such a job completes and its headers survive the next start.
TEST(HeadersDownload, FinishNowKeepsWhatArrived) {
  TFakeNntpServer server;
  ServeGroup(server, "alt.one", 300);
  ServeGroup(server, "alt.two", 3000);
  ServeGroup(server, "alt.three", 300);
  // Rules match by prefix: the longer range goes first.
  server.On("XOVER 1-3000").SendSlowly(Wire(Overview(1, 3000)) + ".\r\n", 2000, 30);
  ServeXover(server, 1, 300);
  ASSERT_TRUE(server.Start());

  for (bool throughManager : {false, true}) {
    SCOPED_TRACE(throughManager ? "manager" : "thread");
    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.one"_s, u"alt.two"_s, u"alt.three"_s}, 1, server.Port());
    const QUuid guid = job->Guid();
    const auto inSecondGroup = [job] { return job->CurrentNewsgroup() == 1 && job->HeadersDownloaded() > 300; };
    std::int64_t kept = 0;
    if (!throughManager) {
      auto* entry = static_cast<TDownloadHeadersJobEntry*>(job);
      THeadersDownloadThread thread(entry);
      thread.start();
      ASSERT_TRUE(TDownloadRun::SpinUntil(inSecondGroup));
      thread.FinishNow();
      ASSERT_TRUE(thread.wait(20000));
      EXPECT_EQ(thread.ResultCode(), TJobThread::RESULT_SUCCESS);
      const TJobInfo info = job->Info();
      ASSERT_EQ(info.newsgroups.size(), 3);
      EXPECT_EQ(info.newsgroups[0].result, DOWNLOAD_RESULT_SUCCESS);
      EXPECT_EQ(info.newsgroups[1].result, DOWNLOAD_RESULT_SUCCESS);
      EXPECT_EQ(info.newsgroups[2].result, DOWNLOAD_RESULT_NONE);
      EXPECT_EQ(info.result, DOWNLOAD_RESULT_FAILURE);
      kept = info.headersDownloaded;
    } else {
      TJobOutcome outcome;
      QObject::connect(&run.manager, &THeadersJobManager::JobComplete, [&outcome](TJobEntry* j, int* reply) {
        outcome.ended = true;
        outcome.info = j->Info();
        *reply = 1;  // no headers manager tab here: the job stays listed
      });
      ASSERT_EQ(run.manager.StartJob(job), RC_SUCCESS);
      ASSERT_TRUE(TDownloadRun::SpinUntil(inSecondGroup));
      ASSERT_EQ(run.manager.StopJob(job, JOB_STATUS_STOPPED, true), RC_SUCCESS);
      ASSERT_TRUE(TDownloadRun::SpinUntil([&outcome] { return outcome.ended; }));
      EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
      kept = outcome.info.headersDownloaded;
      // The next start lists the completed job as such and leaves its files alone.
      THeadersJobManager next;
      next.SetWorkingDirectory(run.dir.Path());
      next.SetSettingsDirectory(run.dir.Path());
      EXPECT_EQ(next.LoadJobs(), RC_SUCCESS);
      EXPECT_TRUE(next.Jobs().isEmpty());
    }
    EXPECT_GT(kept, 300);
    EXPECT_LT(kept, 3300);
    const std::vector<TStoredHeader> headers =
        ReadHeaderFiles(run.File(guid, u".hdrs"_s), run.File(guid, u".idx"_s));
    ASSERT_EQ(static_cast<std::int64_t>(headers.size()), kept);
    EXPECT_EQ(headers.front().fields.newsgroup, 0);
    EXPECT_EQ(headers.back().fields.newsgroup, 1);
    for (const QString& name : run.OtherFiles(guid)) EXPECT_FALSE(name.endsWith(u".tmp"_s)) << name.toStdString();
  }
}

// What GROUP answers decides about each newsgroup; the job's result follows
// from all of them.
TEST(HeadersDownload, NewsgroupResults) {
  struct TCase {
    const char* name;
    QStringList groups;
    std::vector<TDownloadResult> results;
    TDownloadResult jobResult;
    TJobStatus status;
    QString resultString;
    std::int64_t headers;
  };
  const QString missing = u"At least one newsgroup didn't exist on the server"_s;
  const TCase cases[] = {
      {"missing, then one that exists",
       {u"alt.missing"_s, u"alt.fake"_s},
       {DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP, DOWNLOAD_RESULT_SUCCESS},
       DOWNLOAD_RESULT_FAILURE,
       JOB_STATUS_STOPPED,
       missing,
       1000},
      {"only a missing one",
       {u"alt.missing"_s},
       {DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP},
       DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP,
       JOB_STATUS_STOPPED,
       missing,
       0},
      {"refused", {u"alt.refused"_s}, {DOWNLOAD_RESULT_FAILURE}, DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP, JOB_STATUS_STOPPED, {},
       0},
      {"empty, then one with headers",
       {u"alt.empty"_s, u"alt.fake"_s},
       {DOWNLOAD_RESULT_SUCCESS, DOWNLOAD_RESULT_SUCCESS},
       DOWNLOAD_RESULT_SUCCESS,
       JOB_STATUS_COMPLETED,
       {},
       1000},
      // The overview refused every time: the newsgroup fails instead of
      // being asked for as long as the job runs.
      {"overview refused, then one that exists",
       {u"alt.noover"_s, u"alt.fake"_s},
       {DOWNLOAD_RESULT_FAILURE, DOWNLOAD_RESULT_SUCCESS},
       DOWNLOAD_RESULT_FAILURE,
       JOB_STATUS_STOPPED,
       {},
       1000},
      {"only an empty one",
       {u"alt.empty"_s},
       {DOWNLOAD_RESULT_SUCCESS},
       DOWNLOAD_RESULT_SUCCESS,
       JOB_STATUS_COMPLETED,
       u"No headers downloaded"_s,
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    server.On("GROUP alt.missing").Line("411 No such group alt.missing");
    server.On("GROUP alt.refused").Line("480 Authentication required");
    server.On("GROUP alt.empty").Line("211 0 0 0 alt.empty");
    server.On("GROUP alt.noover").Line("211 100 5001 5100 alt.noover");
    server.On("XOVER 5001-5100").Line("502 Permission denied");
    ServeGroup(server, "alt.fake", 1000);
    for (const auto& [first, last] : {std::pair{1, 250}, {251, 500}, {501, 750}, {751, 1000}})
      ServeXover(server, first, last);
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    const TJobOutcome outcome = run.Run(run.Create(c.groups, 4, server.Port()));
    ASSERT_TRUE(outcome.ended);
    ASSERT_EQ(outcome.info.newsgroups.size(), static_cast<qsizetype>(c.results.size()));
    for (std::size_t i = 0; i < c.results.size(); ++i)
      EXPECT_EQ(outcome.info.newsgroups[static_cast<qsizetype>(i)].result, c.results[i]) << i;
    EXPECT_EQ(outcome.info.result, c.jobResult);
    EXPECT_EQ(outcome.info.status, c.status);
    EXPECT_EQ(outcome.info.resultString, c.resultString);
    EXPECT_EQ(outcome.info.headersDownloaded, c.headers);
    // Four connections each got 411: the group that exists was still asked for.
    if (c.groups.contains(u"alt.fake"_s)) {
      EXPECT_TRUE(server.Commands().contains("GROUP alt.fake"));
    }
    if (c.headers > 0) {
      const std::vector<TStoredHeader> headers =
          ReadHeaderFiles(run.File(outcome.info.guid, u".hdrs"_s), run.File(outcome.info.guid, u".idx"_s));
      ASSERT_EQ(static_cast<std::int64_t>(headers.size()), c.headers);
      // The newsgroup index is the position in the downloaded list; newsgroups
      // that never got as far as their ranges take none.
      qsizetype index = -1;
      for (qsizetype i = 0; i < outcome.stats.downloaded.size(); ++i)
        if (outcome.stats.downloaded[i].name == u"alt.fake"_s) index = i;
      EXPECT_EQ(index, c.groups.contains(u"alt.noover"_s) ? 1 : 0);
      EXPECT_TRUE(std::all_of(headers.cbegin(), headers.cend(),
                              [index](const TStoredHeader& h) { return h.fields.newsgroup == index; }));
    }
  }
}

// Failures that end a job: its files are gone and the job says why.
TEST(HeadersDownload, CancelledJobs) {
  struct TCase {
    const char* name;
    int connections;
    QString blockedSuffix;  // a directory where this part file should go
    QString message;
  };
  const TCase cases[] = {
      {"text part", 4, u".G00001.R0.tmp"_s, u"Failed to create headers file - #0301"_s},
      {"index part", 4, u".G00001.R2.idx.tmp"_s, u"Failed to create headers index file - #0302"_s},
      {"seek part", 1, u".seek.tmp"_s, u"Failed to create the headers sync stream - #0101"_s},
      {"no connection", 0, {}, u"Zero connections specified - #0801"_s},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", 1000);
    for (const auto& [first, last] : {std::pair{1, 250}, {251, 500}, {501, 750}, {751, 1000}, {1, 1000}})
      ServeXover(server, first, last);
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.fake"_s}, c.connections, server.Port());
    const QUuid guid = job->Guid();
    if (!c.blockedSuffix.isEmpty()) {
      ASSERT_TRUE(QDir(run.dir.Path()).mkdir(TJobFile::GuidText(guid) + c.blockedSuffix));
    }
    const TJobOutcome outcome = run.Run(job);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.threadResult, TJobThread::RESULT_FAILURE);
    EXPECT_EQ(outcome.info.status, JOB_STATUS_STOPPED);
    EXPECT_EQ(outcome.info.resultString, c.message);
    EXPECT_EQ(outcome.info.headersDownloaded, 0);
    QStringList files = run.OtherFiles(guid);
    EXPECT_EQ(files, QStringList());
  }
}

// A disk that takes no more: a part file that cannot be written (one
// connection) or a merged file that cannot (four) cancels the job with its
// message and leaves no header file behind. The files are limited to 400 KB
// here: 8,000 headers take some 560 KB of text and 320 KB of index.
TEST(HeadersDownload, WriteFailuresCancelTheJob) {
  struct TCase {
    const char* name;
    int connections;
    QString message;
  };
  const TCase cases[] = {
      {"part file", 1, u"Failed to write last response to headers stream - #0502"_s},
      {"merged file", 4, u"Failed to write to headers file - #0713"_s},
  };
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  // Writes past the limit then fail instead of ending the process.
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", 8000);
    for (const auto& [first, last] : {std::pair{1, 8000}, {1, 2000}, {2001, 4000}, {4001, 6000}, {6001, 8000}})
      ServeXover(server, first, last);
    ASSERT_TRUE(server.Start());

    TDownloadRun run;
    TJobEntry* job = run.Create({u"alt.fake"_s}, c.connections, server.Port());
    const QUuid guid = job->Guid();
    rlimit limited = saved;
    limited.rlim_cur = 400 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const TJobOutcome outcome = run.Run(job);
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.threadResult, TJobThread::RESULT_FAILURE);
    EXPECT_EQ(outcome.info.status, JOB_STATUS_STOPPED);
    EXPECT_EQ(outcome.info.resultString.toStdString(), c.message.toStdString());
    EXPECT_NE(outcome.info.result, DOWNLOAD_RESULT_SUCCESS);
    EXPECT_EQ(outcome.info.headersDownloaded, 0);
    EXPECT_EQ(run.OtherFiles(guid), QStringList());
  }
  std::signal(SIGXFSZ, previous);
}

TEST(HeadersDownload, UnusualReplies) {
  // An empty range (423) is done, not retried for ever.
  {
    TFakeNntpServer server;
    ServeGroup(server, "alt.fake", 1000);
    server.On("XOVER 251-500").Line("423 No articles in that range");
    for (const auto& [first, last] : {std::pair{1, 250}, {501, 750}, {751, 1000}}) ServeXover(server, first, last);
    ASSERT_TRUE(server.Start());
    TDownloadRun run;
    const TJobOutcome outcome = run.Run(run.Create({u"alt.fake"_s}, 4, server.Port()));
    EXPECT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
    EXPECT_EQ(outcome.info.headersDownloaded, 750);
    EXPECT_EQ(outcome.progress.reconnections, 0);
  }
  // A server that never lets the job in: with limited attempts the job gives up.
  {
    TFakeNntpServer server;
    server.Banner().Line("502 You have no permission to talk").Close();
    ASSERT_TRUE(server.Start());
    TDownloadRun run;
    run.setup = [](THeadersDownloadThread& thread) { thread.SetConnectAttempts(2); };
    const TJobOutcome outcome = run.Run(run.Create({u"alt.fake"_s}, 2, server.Port()));
    EXPECT_EQ(outcome.threadResult, TJobThread::RESULT_FAILURE);
    EXPECT_EQ(outcome.info.status, JOB_STATUS_STOPPED);
    EXPECT_EQ(outcome.info.resultString, u"Could not connect to the news server"_s);
    EXPECT_EQ(server.Connections(), 4);
  }
}

// The raw overview lines and the senders seen, when the settings ask for them.
TEST(HeadersDownload, RawHeadersAndSenderFiles) {
  TFakeNntpServer server;
  ServeGroup(server, "alt.fake", 100);
  ServeXover(server, 1, 100);
  ASSERT_TRUE(server.Start());

  TDownloadRun run;
  const QString raw = run.dir.Write(u"raw.txt"_s, "left from before\r\n");
  const QString emails = run.dir.Write(u"emails.txt"_s, "zed@old.example\r\n");
  TJobEntry* job = run.Create({u"alt.fake"_s}, 1, server.Port());
  auto* entry = static_cast<TDownloadHeadersJobEntry*>(job);
  entry->RawHeadersFile = raw;
  entry->DownloadedEmailsFile = emails;
  const TJobOutcome outcome = run.Run(job);
  ASSERT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);

  EXPECT_EQ(FileBytes(raw), Wire(Overview(1, 100)).mid(kXoverStatus.size() + 2));
  QList<QByteArray> lines;
  ASSERT_EQ(TLineListFile::Load(emails, lines), TLineListFile::LOAD_OK);
  QList<QByteArray> expected{"zed@old.example"};
  for (const QByteArray& line : Overview(1, 100)) {
    const QByteArray sender = line.split('\t')[2].toLower();
    if (!expected.contains(sender)) expected << sender;
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

// The job list: what a start finds, in which order jobs start, and which
// jobs may start at all.
TEST(HeadersJobManager, LoadingAndScheduling) {
  TTempDir dir;
  struct TStored {
    const char* name;
    TJobStatus status;
    double added;
  };
  const TStored stored[] = {
      {"newer", JOB_STATUS_PENDING, 45002},
      {"done", JOB_STATUS_COMPLETED, 45000},
      {"was running", JOB_STATUS_RUNNING, 45003},
      {"older", JOB_STATUS_PENDING, 45001},
      {"stopped", JOB_STATUS_STOPPED, 45004},
  };
  QList<QUuid> guids;
  for (const TStored& s : stored) {
    TJobInfo info;
    info.guid = QUuid::createUuid();
    info.name = QString::fromLatin1(s.name);
    info.type = JOB_TYPE_DOWNLOAD_HEADERS;
    info.status = s.status;
    info.serverName = u"test"_s;
    info.dateAdded = s.added;
    info.newsgroups = {{u"alt.fake"_s, {}, DOWNLOAD_RESULT_NONE}};
    ASSERT_EQ(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);
    dir.Write(TJobFile::GuidText(info.guid) + u".hdrs"_s, "left over");
    guids << info.guid;
  }
  dir.Write(u"broken.kvj"_s, "[Job]\nJob.Type=JOB_TYPE_DOWNLOAD_HEADERS\n");

  THeadersJobManager manager;
  manager.SetWorkingDirectory(dir.Path());
  manager.SetSettingsDirectory(dir.Path());
  EXPECT_EQ(manager.LoadJobs(), RC_PARTIAL_SUCCESS);
  QStringList names;
  for (TJobEntry* job : manager.Jobs()) names << job->Info().name;
  EXPECT_EQ(names, QStringList({u"older"_s, u"newer"_s, u"was running"_s, u"stopped"_s}));
  EXPECT_EQ(manager.Jobs()[2]->Status(), JOB_STATUS_PENDING);
  // Downloads start from the beginning; the completed job's files stay.
  EXPECT_FALSE(QFileInfo::exists(dir.File(TJobFile::GuidText(guids[0]) + u".hdrs"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(TJobFile::GuidText(guids[1]) + u".hdrs"_s)));
  EXPECT_EQ(manager.Jobs()[0]->Guid(), guids[3]);

  TJobEntry* oldest = manager.Jobs()[0];
  EXPECT_EQ(manager.NextJobToStart(), oldest);

  // A job created not to start is stopped and never picked.
  TJobInfo info;
  info.type = JOB_TYPE_DOWNLOAD_HEADERS;
  info.serverName = u"test"_s;
  info.flags = TJobFlagsSet{JOB_FLAG_NO_AUTO_START};
  info.newsgroups = {{u"alt.fake"_s, {}, DOWNLOAD_RESULT_NONE}};
  RETURN_CODES rc = RC_UNDEFINED;
  TJobEntry* created = manager.CreateNewJob(info, &rc);
  ASSERT_EQ(rc, RC_SUCCESS);
  EXPECT_EQ(created->Status(), JOB_STATUS_STOPPED);
  EXPECT_EQ(created->Info().sortIndex, 1);
  EXPECT_TRUE(QFileInfo::exists(TJobFile::PathOf(dir.Path(), created->Guid())));

  // Only pending or stopped listed jobs start.
  TDownloadHeadersJobEntry stranger(info);
  EXPECT_EQ(manager.StartJob(&stranger), RC_UNAVAILABLE);
  oldest->SetStatus(JOB_STATUS_COMPLETED);
  EXPECT_EQ(manager.StartJob(oldest), RC_BAD_STATE);
  EXPECT_EQ(manager.NextJobToStart(), manager.Jobs()[1]);
  EXPECT_EQ(THeadersJobManager::StartErrorText(RC_BAD_STATE), u"The selected task already running."_s);

  // An unknown server stops the job and says so.
  TNewsServerList none;
  EXPECT_EQ(manager.PrepareJob(created, none), RC_NO_SERVERS);
  EXPECT_EQ(created->Status(), JOB_STATUS_STOPPED);
  EXPECT_EQ(created->ResultString(), u"Job stopped - invalid server"_s);
}

// Two pending jobs run one after the other, oldest first, as the scheduling
// timer picks them.
TEST(HeadersJobManager, PendingJobsRunInTurn) {
  TFakeNntpServer server;
  ServeGroup(server, "alt.fake", 100);
  ServeXover(server, 1, 100);
  ASSERT_TRUE(server.Start());
  TDownloadRun run;
  run.reply = 1;  // kept listed, so the order shows
  TJobEntry* first = run.Create({u"alt.fake"_s}, 1, server.Port());
  TJobEntry* second = run.Create({u"alt.fake"_s}, 1, server.Port());
  ASSERT_EQ(run.manager.NextJobToStart(), first);
  const TJobOutcome one = run.Run(run.manager.NextJobToStart());
  EXPECT_EQ(one.info.guid, first->Guid());
  EXPECT_EQ(run.manager.NextJobToStart(), second);
  const TJobOutcome two = run.Run(run.manager.NextJobToStart());
  EXPECT_EQ(two.info.guid, second->Guid());
  EXPECT_EQ(two.info.status, JOB_STATUS_COMPLETED);
  EXPECT_EQ(run.manager.NextJobToStart(), nullptr);
}
