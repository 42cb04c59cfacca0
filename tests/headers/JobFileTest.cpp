#include "app/DayCount.h"
#include "app/IniFile.h"
#include "headers/JobFile.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QUuid kGuid = QUuid::fromString(u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"_s);
const QString kGuidText = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"_s;

// A job with every persistent field away from its default.
TJobInfo FullJob() {
  TJobInfo info;
  info.guid = kGuid;
  info.sortIndex = 5000000000LL;
  info.name = u"alt.binaries.test (+ 2 more)"_s;
  info.type = JOB_TYPE_DOWNLOAD_HEADERS;
  info.operationInfo = u"Range"_s;
  info.newsgroups = {
      {u"alt.binaries.test"_s, u"JOB_OPERATION_GET_HEADERS_RANGE,4000000000,4000001000"_s, DOWNLOAD_RESULT_SUCCESS},
      {u"alt.binaries.ütf8"_s, u"JOB_OPERATION_GET_HEADERS_FROM,17"_s, DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP},
      {u"comp.lang.c"_s, u"JOB_OPERATION_GET_HEADERS_ALL"_s, DOWNLOAD_RESULT_FAILURE},
  };
  info.resultString = u"At least one newsgroup didn't exist on the server"_s;
  info.matchString = u"linux, iso ,x86"_s;
  info.dateAdded = 45823.437512345678;
  info.dateCompleted = 45824.5;
  info.serverName = u"My Server"_s;
  info.flags = {JOB_FLAG_FORCE_START, JOB_FLAG_NO_AUTO_FOCUS, JOB_FLAG_NEW};
  info.connectionCount = 8;
  info.status = JOB_STATUS_STOPPED;
  return info;
}

void ExpectSamePersistentFields(const TJobInfo& a, const TJobInfo& b) {
  EXPECT_EQ(a.guid, b.guid);
  EXPECT_EQ(a.sortIndex, b.sortIndex);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.operationInfo, b.operationInfo);
  EXPECT_EQ(a.newsgroups, b.newsgroups);
  EXPECT_EQ(a.resultString, b.resultString);
  EXPECT_EQ(a.matchString, b.matchString);
  EXPECT_EQ(a.dateAdded, b.dateAdded);
  EXPECT_EQ(a.dateCompleted, b.dateCompleted);
  EXPECT_EQ(a.serverName, b.serverName);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.connectionCount, b.connectionCount);
  EXPECT_EQ(a.status, b.status);
}

// A minimal valid job file, to be spoiled key by key.
QByteArray ValidJobFile() {
  return "[Job]\n"
         "Job.GUID={0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\n"
         "Job.Type=JOB_TYPE_DOWNLOAD_HEADERS\n"
         "Job.Status=JOB_STATUS_PENDING\n"
         "Job.ServerName=news\n"
         "[Newsgroups]\n"
         "Count=1\n"
         "Newsgroup.Name.0=a.b\n"
         "Newsgroup.Data.0=JOB_OPERATION_GET_HEADERS_ALL\n";
}

QStringList Files(const QString& dir) {
  QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
  names.sort();
  return names;
}

}  // namespace

TEST(JobTypes, NamesAndDisplayTexts) {
  EXPECT_EQ(JobStatusName(JOB_STATUS_COMPLETED), u"JOB_STATUS_COMPLETED"_s);
  EXPECT_EQ(JobTypeName(JOB_TYPE_DOWNLOAD_HEADERS), u"JOB_TYPE_DOWNLOAD_HEADERS"_s);
  EXPECT_EQ(DownloadResultName(DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP), u"DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP"_s);
  EXPECT_EQ(JobStatusFromName(u" job_status_running "_s), JOB_STATUS_RUNNING);
  EXPECT_EQ(JobStatusFromName(u"JOB_STATUS_DONE"_s), JOB_STATUS_UNKNOWN);
  EXPECT_EQ(DownloadResultFromName(u""_s), DOWNLOAD_RESULT_NONE);

  const std::pair<int, const char*> statuses[] = {{0, "UNKNOWN!"},  {1, "Stopped"},  {2, "Waiting"},  {3, "Running"},
                                                  {4, "Completed"}, {5, "UNKNOWN!"}, {-1, "UNKNOWN!"}};
  for (const auto& [v, text] : statuses) EXPECT_EQ(JobStatusText(v), QLatin1String(text)) << v;
  const std::pair<int, const char*> results[] = {
      {0, ""}, {1, "Successful"}, {2, "Failed"}, {3, "Partial Success"}, {4, "UNKNOWN!"}, {255, "UNKNOWN!"}};
  for (const auto& [v, text] : results) EXPECT_EQ(DownloadResultText(v), QLatin1String(text)) << v;

  EXPECT_EQ(JobDisplayName({u"a.b"_s, u"c.d"_s, u"e.f"_s}), u"a.b (+ 2 more)"_s);
  EXPECT_EQ(JobDisplayName({u"a.b"_s}), u"a.b"_s);
  EXPECT_EQ(JobDisplayName({}), QString());
}

TEST(JobTypes, FlagTexts) {
  for (unsigned bits = 0; bits < (1u << JOB_FLAG_COUNT_); ++bits) {
    const TJobFlagsSet flags(static_cast<std::uint8_t>(bits));
    bool ok = false;
    EXPECT_EQ(JobFlagsFromText(JobFlagsToText(flags), &ok), flags) << bits;
    EXPECT_TRUE(ok);
  }
  EXPECT_EQ(JobFlagsToText({}), u"[]"_s);
  EXPECT_EQ(JobFlagsToText({JOB_FLAG_NO_AUTO_FOCUS, JOB_FLAG_FORCE_START}),
            u"[JOB_FLAG_FORCE_START,JOB_FLAG_NO_AUTO_FOCUS]"_s);

  struct TCase {
    const char* text;
    TJobFlagsSet expected;
    bool ok;
  };
  const TCase cases[] = {
      {"[]", {}, true},
      {"", {}, true},
      {"[JOB_FLAG_NO_AUTO_FOCUS,JOB_FLAG_FORCE_START]", {JOB_FLAG_FORCE_START, JOB_FLAG_NO_AUTO_FOCUS}, true},
      {" [ job_flag_new , JOB_FLAG_NO_AUTO_LOAD ] ", {JOB_FLAG_NEW, JOB_FLAG_NO_AUTO_LOAD}, true},
      {"JOB_FLAG_FORCE_LOAD", {JOB_FLAG_FORCE_LOAD}, true},
      {"[JOB_FLAG_NEW,JOB_FLAG_BOGUS]", {JOB_FLAG_NEW}, false},
  };
  for (const TCase& c : cases) {
    bool ok = !c.ok;
    EXPECT_EQ(JobFlagsFromText(QLatin1String(c.text), &ok), c.expected) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
}

TEST(JobTypes, OperationStrings) {
  EXPECT_EQ(MakeOperationString(JOB_OPERATION_GET_HEADERS_ALL), u"JOB_OPERATION_GET_HEADERS_ALL"_s);
  EXPECT_EQ(MakeOperationString(JOB_OPERATION_GET_HEADERS_FROM, 5000000001LL),
            u"JOB_OPERATION_GET_HEADERS_FROM,5000000001"_s);
  EXPECT_EQ(MakeOperationString(JOB_OPERATION_GET_HEADERS_RANGE, 10, 20), u"JOB_OPERATION_GET_HEADERS_RANGE,10,20"_s);

  struct TCase {
    const char* data;
    TJobOperation operation;
    std::int64_t first, second;
  };
  const TCase cases[] = {
      {"JOB_OPERATION_GET_HEADERS_RANGE,4000000000,4000001000", JOB_OPERATION_GET_HEADERS_RANGE, 4000000000LL,
       4000001000LL},
      {"JOB_OPERATION_GET_HEADERS_PERCENT,0", JOB_OPERATION_GET_HEADERS_PERCENT, 0, 1},
      {"JOB_OPERATION_GET_HEADERS_NUMBER", JOB_OPERATION_GET_HEADERS_NUMBER, 1, 1},
      {"JOB_OPERATION_GET_HEADERS_FROM,abc", JOB_OPERATION_GET_HEADERS_FROM, 1, 1},
      {"JOB_OPERATION_GET_HEADERS_RANGE,5", JOB_OPERATION_GET_HEADERS_RANGE, 5, 1},
      {"GET_EVERYTHING,3,4", JOB_OPERATION_GET_HEADERS_ALL, 3, 4},
      {"", JOB_OPERATION_GET_HEADERS_ALL, 1, 1},
  };
  for (const TCase& c : cases) {
    const TJobOperationArgs args = ParseOperationString(QLatin1String(c.data));
    EXPECT_EQ(args.operation, c.operation) << c.data;
    EXPECT_EQ(args.first, c.first) << c.data;
    EXPECT_EQ(args.second, c.second) << c.data;
  }
}

TEST(JobFile, SaveAndReadBackEveryField) {
  TTempDir dir;
  const TJobInfo info = FullJob();
  ASSERT_EQ(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);
  EXPECT_EQ(Files(dir.Path()), QStringList{kGuidText + u".kvj"_s});  // no temporary file left

  TJobStats stats;
  stats.headersDownloaded = 3000000000LL;
  stats.headersKilled = 12;
  stats.timeToCompletion = 98765;
  stats.connectionsUsed = 4;
  stats.downloaded = {{u"alt.binaries.test"_s, 2999999000LL}, {u"comp.lang.c"_s, 1000}};
  ASSERT_EQ(TJobFile::SaveJobStats(dir.Path(), kGuid, stats), RC_SUCCESS);
  TJobInfo sized = info;
  sized.fileSize = 123456789012LL;
  ASSERT_EQ(TJobFile::SaveJobKey(dir.Path(), sized, TJobFile::KEY_FILE_SIZE), RC_SUCCESS);
  // A later full save keeps the keys the other operations wrote.
  ASSERT_EQ(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);

  TJobInfo back;
  back.result = DOWNLOAD_RESULT_SUCCESS;  // reset by the read
  ASSERT_EQ(TJobFile::Load(TJobFile::PathOf(dir.Path(), kGuid), back), RC_SUCCESS);
  ExpectSamePersistentFields(back, info);
  EXPECT_EQ(back.result, DOWNLOAD_RESULT_NONE);
  EXPECT_EQ(back.headersDownloaded, 3000000000LL);
  EXPECT_EQ(back.fileSize, 123456789012LL);
  EXPECT_EQ(TJobFile::ReadJobStats(TIniFile(TJobFile::PathOf(dir.Path(), kGuid))), stats);

  // Each single-key update changes its key alone.
  TJobInfo changed = info;
  changed.flags = {};
  changed.name = u"Renamed"_s;
  changed.connectionCount = 2;
  changed.serverName = u"Other"_s;
  changed.status = JOB_STATUS_RUNNING;  // never written by a single-key update
  for (TJobFile::TJobKey key :
       {TJobFile::KEY_FLAGS, TJobFile::KEY_NAME, TJobFile::KEY_CONNECTION_COUNT, TJobFile::KEY_SERVER_NAME})
    ASSERT_EQ(TJobFile::SaveJobKey(dir.Path(), changed, key), RC_SUCCESS);
  ASSERT_EQ(TJobFile::Load(TJobFile::PathOf(dir.Path(), kGuid), back), RC_SUCCESS);
  EXPECT_EQ(back.flags, TJobFlagsSet{});
  EXPECT_EQ(back.name, u"Renamed"_s);
  EXPECT_EQ(back.connectionCount, 2);
  EXPECT_EQ(back.serverName, u"Other"_s);
  EXPECT_EQ(back.status, JOB_STATUS_STOPPED);
  EXPECT_EQ(back.newsgroups, info.newsgroups);
}

TEST(JobFile, WrittenTextAsStored) {
  TTempDir dir;
  TJobInfo info = FullJob();
  info.dateCompleted = 0;
  info.resultString = u"two\r\nlines"_s;  // one line in the file, whatever the text
  ASSERT_EQ(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);
  const QByteArray text = dir.Read(kGuidText + u".kvj"_s);
  for (const char* line :
       {"Job.GUID={0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\n", "Job.Status=JOB_STATUS_STOPPED\n",
        "Job.Type=JOB_TYPE_DOWNLOAD_HEADERS\n", "Job.Date.Completed=0\n", "Job.SortIndex=5000000000\n",
        "Job.Flags=[JOB_FLAG_NEW,JOB_FLAG_FORCE_START,JOB_FLAG_NO_AUTO_FOCUS]\n", "Job.ResultString=two  lines\n",
        "Count=3\n", "Newsgroup.Result.1=DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP\n"})
    EXPECT_TRUE(text.contains(line)) << line;
  EXPECT_FALSE(text.contains("Job.FileSize"));

  // A shorter list leaves no keys of the longer one behind.
  info.newsgroups.resize(1);
  ASSERT_EQ(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);
  EXPECT_FALSE(dir.Read(kGuidText + u".kvj"_s).contains("Newsgroup.Name.2"));
}

TEST(JobFile, DamagedJobFiles) {
  struct TCase {
    const char* what;
    const char* from;  // replaced in the valid file
    const char* to;
    RETURN_CODES expected;
  };
  const TCase cases[] = {
      {"valid", "", "", RC_SUCCESS},
      {"type missing", "Job.Type=JOB_TYPE_DOWNLOAD_HEADERS\n", "", RC_OPERATION_FAILED},
      {"unknown type", "JOB_TYPE_DOWNLOAD_HEADERS", "JOB_TYPE_UPLOAD", RC_OPERATION_FAILED},
      {"status missing", "Job.Status=JOB_STATUS_PENDING\n", "", RC_OPERATION_FAILED},
      {"unknown status", "JOB_STATUS_PENDING", "JOB_STATUS_PAUSED", RC_OPERATION_FAILED},
      {"status zero", "JOB_STATUS_PENDING", "JOB_STATUS_UNKNOWN", RC_OPERATION_FAILED},
      {"server empty", "Job.ServerName=news", "Job.ServerName=", RC_OPERATION_FAILED},
      {"guid garbage", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", "{0A1B2C3D-4E5F}", RC_OPERATION_FAILED},
      {"guid nil", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", "{00000000-0000-0000-0000-000000000000}",
       RC_OPERATION_FAILED},
      {"guid lower case, no braces", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
       RC_SUCCESS},
      {"unknown flags", "[Newsgroups]", "Job.Flags=[JOB_FLAG_NEW,JOB_FLAG_TURBO]\n[Newsgroups]", RC_SUCCESS},
      {"absurd count", "Count=1", "Count=2147483647", RC_SUCCESS},
      {"negative count", "Count=1", "Count=-5", RC_SUCCESS},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    QByteArray text = ValidJobFile();
    if (*c.from) text.replace(c.from, c.to);
    TJobInfo info;
    EXPECT_EQ(TJobFile::Load(dir.Write(u"job.kvj"_s, text), info), c.expected) << c.what;
  }

  // Bytes that are no ini file at all.
  TTempDir dir;
  TJobInfo info;
  QByteArray junk(4096, '\0');
  for (int i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919) & 0xff);
  EXPECT_EQ(TJobFile::Load(dir.Write(u"junk.kvj"_s, junk), info), RC_OPERATION_FAILED);
  EXPECT_EQ(TJobFile::Load(dir.File(u"missing.kvj"_s), info), RC_FILE_NOT_FOUND);
}

TEST(JobFile, DefaultsAndSkippedNewsgroups) {
  TTempDir dir;
  const QByteArray text =
      ValidJobFile().replace("Count=1\nNewsgroup.Name.0=a.b\n",
                             "Count=4\nNewsgroup.Name.0=a.b\nNewsgroup.Name.1=\n"
                             "Newsgroup.Name.2=e.f\nNewsgroup.Data.2=JOB_OPERATION_GET_HEADERS_FROM,9\n"
                             "Newsgroup.Result.2=DOWNLOAD_RESULT_FAILURE\n"
                             "Newsgroup.Name.7=beyond.count\n") +
      "[Job]\nJob.Date.Added=yesterday\nJob.Date.Completed=soon\n";
  TJobInfo info;
  const double before = NowAsDays();
  ASSERT_EQ(TJobFile::Load(dir.Write(u"job.kvj"_s, text), info), RC_SUCCESS);
  EXPECT_EQ(info.name, kGuidText);  // no name: the GUID
  EXPECT_EQ(info.connectionCount, 1);
  EXPECT_EQ(info.flags, TJobFlagsSet{});
  EXPECT_GE(info.dateAdded, before);  // unreadable: now
  EXPECT_EQ(info.dateCompleted, 0.0);
  ASSERT_EQ(info.newsgroups.size(), 2);
  EXPECT_EQ(info.newsgroups[0], (TNewsgroupJob{u"a.b"_s, u"JOB_OPERATION_GET_HEADERS_ALL"_s, DOWNLOAD_RESULT_NONE}));
  // The empty entry 1 is left out; entry 2 still reads its own keys.
  EXPECT_EQ(info.newsgroups[1],
            (TNewsgroupJob{u"e.f"_s, u"JOB_OPERATION_GET_HEADERS_FROM,9"_s, DOWNLOAD_RESULT_FAILURE}));
}

TEST(JobFile, SaveErrors) {
  TTempDir dir;
  TJobInfo info = FullJob();
  EXPECT_EQ(TJobFile::SaveJob(dir.File(u"missing/"_s), info), RC_DEST_NOT_READY);
  EXPECT_EQ(TJobFile::SaveJobStats(dir.File(u"missing/"_s), kGuid, {}), RC_DEST_NOT_READY);
  // A directory where the job file should be: it cannot be read nor replaced.
  ASSERT_TRUE(QDir().mkpath(dir.File(kGuidText + u".kvj"_s)));
  EXPECT_NE(TJobFile::SaveJob(dir.Path(), info), RC_SUCCESS);
  EXPECT_NE(TJobFile::SaveJobKey(dir.Path(), info, TJobFile::KEY_NAME), RC_SUCCESS);
}

TEST(JobFile, NextJobSortIndex) {
  TTempDir dir;
  EXPECT_EQ(TJobFile::NextJobSortIndex(dir.Path()), 1);
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"_JobSortIndex.ini"_s)));
  EXPECT_EQ(TJobFile::NextJobSortIndex(dir.Path()), 2);
  EXPECT_EQ(TIniFile(dir.File(u"_JobSortIndex.ini"_s)).ReadInt64(u"Job"_s, u"SortIndex"_s, 0), 2);

  // Found whatever the case of its name; a stored value carries on.
  TTempDir other;
  other.Write(u"_jobsortindex.INI"_s, "[Job]\nSortIndex=4999999999\n");
  EXPECT_EQ(TJobFile::NextJobSortIndex(other.Path()), 5000000000LL);

  // Threads asking at once never get the same number.
  TTempDir shared;
  std::vector<std::int64_t> got(200);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) got[static_cast<size_t>(t * 50 + i)] = TJobFile::NextJobSortIndex(shared.Path());
    });
  for (std::thread& t : threads) t.join();
  std::sort(got.begin(), got.end());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], static_cast<std::int64_t>(i + 1));

  EXPECT_EQ(TJobFile::NextJobSortIndex(dir.File(u"no/such/dir/"_s)), 0);
}

TEST(JobFile, CleanHeadersDirectory) {
  TTempDir dir;
  const QString job = kGuidText;
  const QString orphan = u"{11111111-2222-3333-4444-555555555555}"_s;
  for (const QString& name :
       {job + u".kvj"_s, job + u".hdrs"_s, job + u".IDX"_s, job + u".seek"_s, job + u".G00001.R0.tmp"_s,
        job + u".G00001.R0.idx.tmp"_s, job.toLower() + u".extra"_s, orphan + u".hdrs"_s, orphan + u".idx"_s,
        u"notes.txt"_s, u"README"_s, u"other.KVJ"_s, u"other.hdrs"_s})
    dir.Write(name, "x");
  ASSERT_TRUE(QDir().mkpath(dir.File(u"keep-subdir"_s)));
  TJobFile::CleanHeadersDirectory(dir.Path());
  QStringList expected = {
      job + u".kvj"_s, job + u".hdrs"_s, job + u".IDX"_s, job + u".seek"_s, job.toLower() + u".extra"_s,
      u"other.KVJ"_s,  u"other.hdrs"_s};
  expected.sort();
  EXPECT_EQ(Files(dir.Path()), expected);
  EXPECT_TRUE(QFileInfo(dir.File(u"keep-subdir"_s)).isDir());
  TJobFile::CleanHeadersDirectory(dir.File(u"missing/"_s));  // nothing to do, nothing happens
}

TEST(JobFile, DeleteJobFiles) {
  TTempDir dir;
  const QString other = u"{11111111-2222-3333-4444-555555555555}"_s;
  for (const QString& name : {kGuidText + u".kvj"_s, kGuidText + u".hdrs"_s, kGuidText.toLower() + u".idx"_s,
                              kGuidText + u".G00001.R0.tmp"_s, other + u".hdrs"_s, kGuidText + u"x.hdrs"_s})
    dir.Write(name, "x");
  EXPECT_TRUE(TJobFile::DeleteJobFiles(dir.Path(), kGuid, false));
  QStringList expected = {kGuidText + u".kvj"_s, kGuidText + u"x.hdrs"_s, other + u".hdrs"_s};
  expected.sort();
  EXPECT_EQ(Files(dir.Path()), expected);
  EXPECT_TRUE(TJobFile::DeleteJobFiles(dir.Path(), kGuid, true));
  expected.removeFirst();
  EXPECT_EQ(Files(dir.Path()), expected);
}
