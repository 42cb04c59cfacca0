#include "HeaderFilesFixture.h"
#include "app/LittleEndian.h"
#include "app/UserPrompt.h"
#include "headers/HeadersLoadWarning.h"
#include "headers/LoadCommand.h"
#include "headers/LoadHeadersThread.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// One generated job shared by the tests of this file: 12,345 headers of
// three newsgroups, so its seek file has two entries.
class LoadHeadersTest : public testing::Test {
 public:
  static void SetUpTestSuite() {
    sDir = new TTempDir;
    sHeaders = new std::vector<TOwnedHeader>(GeneratedHeaders(12345, 11, 3));
    sJob = WriteJob(sDir->File(u"{JOB}"_s), *sHeaders);
  }
  static void TearDownTestSuite() {
    delete sHeaders;
    delete sDir;
  }

  // A copy of the job in this test's own directory, to damage at will.
  QString CopyJob(bool withSeek = true) {
    for (const QString& ext : {u".kvj"_s, u".hdrs"_s, u".idx"_s, u".seek"_s})
      if (withSeek || ext != u".seek"_s) {
        QFile::remove(fDir.File(u"{JOB}"_s + ext));
        QFile::copy(sDir->File(u"{JOB}"_s + ext), fDir.File(u"{JOB}"_s + ext));
      }
    return fDir.File(u"{JOB}.kvj"_s);
  }
  QString File(const QString& ext) const { return fDir.File(u"{JOB}"_s + ext); }

  static RETURN_CODES Load(const QString& job, std::int64_t first, std::int64_t last,
                           std::shared_ptr<THeaders>* headers = nullptr, TLoadHeadersThread* loader = nullptr) {
    TLoadHeadersThread own;
    TLoadHeadersThread& l = loader ? *loader : own;
    l.SetJobFileName(job);
    l.SetRange(first, last);
    const RETURN_CODES rc = l.Execute();
    if (headers) *headers = l.TakeHeaders();
    return rc;
  }

  static TTempDir* sDir;
  static std::vector<TOwnedHeader>* sHeaders;
  static QString sJob;
  TTempDir fDir;
};

TTempDir* LoadHeadersTest::sDir = nullptr;
std::vector<TOwnedHeader>* LoadHeadersTest::sHeaders = nullptr;
QString LoadHeadersTest::sJob;

}  // namespace

TEST_F(LoadHeadersTest, AllHeadersLoadIntoTheSamePostsAndArticlesAsAddingThemDirectly) {
  std::shared_ptr<THeaders> loaded;
  ASSERT_EQ(Load(sJob, 1, INT64_MAX, &loaded), RC_SUCCESS);
  ASSERT_TRUE(loaded && loaded->IsFinalized());
  EXPECT_EQ(loaded->TotalArticles(), sHeaders->size());
  EXPECT_TRUE(SameSet(*loaded, *DirectSet(*sHeaders, 1, sHeaders->size())));
  // Generated data holds both kinds of post, or the comparison proves little.
  int binary = 0;
  for (int p = 0; p < loaded->PostCount(); ++p) binary += loaded->Post(p).IsMultipart();
  EXPECT_GT(binary, 10);
  EXPECT_LT(binary, loaded->PostCount());
}

TEST_F(LoadHeadersTest, RangeLoadsEqualTheSameRangeAddedDirectlyWithAndWithoutSeekFile) {
  const std::uint64_t total = sHeaders->size();
  struct TCase {
    std::int64_t first, last;
    std::int64_t jumped;  // records the seek file lets the loader pass without reading
  } cases[] = {
      {1, 100, 0},           {4999, 5002, 0},       {5000, 5000, 0},       {5001, 5001, 5000},    {5001, 10000, 5000},
      {12001, 12345, 10000}, {10001, 99999, 10000}, {12345, 12345, 10000}, {12346, 20000, 10000}, {1, 12345, 0},
  };
  const QString job = CopyJob();
  const qint64 indexSize = QFile(File(u".idx"_s)).size();
  const qint64 textSize = QFile(File(u".hdrs"_s)).size();
  const QByteArray seek = ReadAll(File(u".seek"_s));
  ASSERT_EQ(seek.size(), 16);
  for (const bool withSeek : {true, false}) {
    if (!withSeek) QFile::remove(File(u".seek"_s));
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << c.first << ".." << c.last << (withSeek ? " with" : " without") << " seek");
      std::shared_ptr<THeaders> loaded;
      TLoadHeadersThread loader;
      ASSERT_EQ(Load(job, c.first, c.last, &loaded, &loader), RC_SUCCESS);
      EXPECT_TRUE(SameSet(*loaded, *DirectSet(*sHeaders, std::size_t(c.first), std::size_t(c.last))));
      EXPECT_EQ(loader.Skipped(), std::min<std::int64_t>(c.first - 1, std::int64_t(total)));
      const std::int64_t jumped = withSeek ? c.jumped : 0;
      const qint64 textJumped = jumped ? qint64(le::Get64(seek.constData() + (jumped / 5000 - 1) * 8)) : 0;
      // A load that runs to the end has read everything after the jump, and nothing before it.
      if (std::uint64_t(c.last) >= total) {
        EXPECT_EQ(loader.BytesRead(), std::uint64_t(indexSize - jumped * 40 + textSize - textJumped));
      }
    }
  }
}

TEST_F(LoadHeadersTest, AWrongSeekEntryLoadsFromTheStart) {
  const QString job = CopyJob();
  const QByteArray seek = ReadAll(File(u".seek"_s));
  const std::uint64_t second = le::Get64(seek.constData() + 8);
  const std::unique_ptr<THeaders> want = DirectSet(*sHeaders, 12001, 12345);
  for (const std::uint64_t wrong : {second + 1, second - 1, std::uint64_t(1) << 40}) {
    SCOPED_TRACE(wrong);
    QByteArray bad = seek;
    le::Put64(bad.data() + 8, wrong);
    WriteAll(File(u".seek"_s), bad);
    std::shared_ptr<THeaders> loaded;
    TLoadHeadersThread loader;
    ASSERT_EQ(Load(job, 12001, 12345, &loaded, &loader), RC_SUCCESS);
    EXPECT_TRUE(SameSet(*loaded, *want));
    EXPECT_EQ(loader.BytesRead(),
              std::uint64_t(QFile(File(u".idx"_s)).size() + QFile(File(u".hdrs"_s)).size()));  // read from the start
  }
  // A seek file cut inside an entry uses the whole entries only.
  WriteAll(File(u".seek"_s), seek.left(12));
  std::shared_ptr<THeaders> loaded;
  ASSERT_EQ(Load(job, 12001, 12345, &loaded), RC_SUCCESS);
  EXPECT_TRUE(SameSet(*loaded, *want));
}

TEST_F(LoadHeadersTest, DamagedOrMissingFilesGiveTheLoadersResult) {
  const QByteArray index = ReadAll(sDir->File(u"{JOB}.idx"_s));
  const QByteArray text = ReadAll(sDir->File(u"{JOB}.hdrs"_s));
  qsizetype at6000 = 0;
  for (int i = 0; i < 6000; ++i) at6000 += (*sHeaders)[std::size_t(i)].Header().TextRecordLength();
  QByteArray shifted = text;
  shifted.remove(at6000 + 1, 1);
  QByteArray emptySubject = index;
  le::Put16(emptySubject.data() + 6000 * 40 + 4, 0);  // subject length 0, texts re-laid below
  QByteArray emptySubjectText = text;
  emptySubjectText.remove(at6000, (*sHeaders)[6000].subject.size());
  le::Put16(emptySubject.data() + 6000 * 40 + 12,
            std::uint16_t((*sHeaders)[6000].Header().TextRecordLength() - (*sHeaders)[6000].subject.size()));

  struct TCase {
    const char* name;
    std::function<void(LoadHeadersTest&)> damage;
    std::int64_t first, last;
    RETURN_CODES result;
    std::int64_t loaded;  // when the load succeeds
  } cases[] = {
      {"text cut after 6000 records", [&](LoadHeadersTest& t) { WriteAll(t.File(u".hdrs"_s), text.left(at6000 + 7)); },
       1, INT64_MAX, RC_SUCCESS, 6000},
      {"index cut inside record 7001",
       [&](LoadHeadersTest& t) { WriteAll(t.File(u".idx"_s), index.left(7000 * 40 + 39)); }, 1, INT64_MAX, RC_SUCCESS,
       7000},
      {"text out of step from record 6001", [&](LoadHeadersTest& t) { WriteAll(t.File(u".hdrs"_s), shifted); }, 1,
       INT64_MAX, RC_OPERATION_FAILED, 0},
      {"the same, in a range that only skips it", [&](LoadHeadersTest& t) { WriteAll(t.File(u".hdrs"_s), shifted); },
       6002, 6100, RC_OPERATION_FAILED, 0},
      {"a header without subject",
       [&](LoadHeadersTest& t) {
         WriteAll(t.File(u".idx"_s), emptySubject);
         WriteAll(t.File(u".hdrs"_s), emptySubjectText);
       },
       1, INT64_MAX, RC_OPERATION_FAILED, 0},
      {"empty text file", [&](LoadHeadersTest& t) { WriteAll(t.File(u".hdrs"_s), {}); }, 1, INT64_MAX,
       RC_OPERATION_FAILED, 0},
      {"no job file", [&](LoadHeadersTest& t) { QFile::remove(t.File(u".kvj"_s)); }, 1, INT64_MAX,
       RC_FAILED_INITALIZATION, 0},
      {"no index file", [&](LoadHeadersTest& t) { QFile::remove(t.File(u".idx"_s)); }, 1, INT64_MAX,
       RC_FAILED_INITALIZATION, 0},
      {"no text file", [&](LoadHeadersTest& t) { QFile::remove(t.File(u".hdrs"_s)); }, 1, INT64_MAX,
       RC_FAILED_INITALIZATION, 0},
      {"first 0", [](LoadHeadersTest&) {}, 0, 10, RC_FAILED_INITALIZATION, 0},
      {"last below first", [](LoadHeadersTest&) {}, 10, 9, RC_FAILED_INITALIZATION, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString job = CopyJob();
    c.damage(*this);
    std::shared_ptr<THeaders> loaded;
    TLoadHeadersThread loader;
    ASSERT_EQ(Load(job, c.first, c.last, &loaded, &loader), c.result);
    if (c.result == RC_SUCCESS) {
      ASSERT_TRUE(loaded);
      EXPECT_TRUE(SameSet(*loaded, *DirectSet(*sHeaders, 1, std::size_t(c.loaded))));
      EXPECT_TRUE(loader.FilesTruncated());
    } else {
      EXPECT_FALSE(loaded);  // a failed load hands nothing over
    }
  }
}

TEST_F(LoadHeadersTest, HeaderFilesAreFoundWhateverTheCaseOfTheirNames) {
  CopyJob();
  for (const QString& ext : {u".hdrs"_s, u".idx"_s, u".seek"_s})
    QFile::rename(File(ext), fDir.File(u"{job}"_s + ext.toUpper()));
  std::shared_ptr<THeaders> loaded;
  ASSERT_EQ(Load(fDir.File(u"{Job}.KVJ"_s), 5001, 5100, &loaded), RC_SUCCESS);
  EXPECT_TRUE(SameSet(*loaded, *DirectSet(*sHeaders, 5001, 5100)));
}

TEST_F(LoadHeadersTest, TheThreadHandsTheFinishedSetOverAndFreesItself) {
  QObject receiver;
  TLoadHeadersOutcome outcome;
  bool received = false;
  QEventLoop loop;
  auto* thread = new TLoadHeadersThread;
  QPointer<TLoadHeadersThread> alive(thread);
  QObject::connect(thread, &TLoadHeadersThread::LoadFinished, &receiver, [&](const TLoadHeadersOutcome& o) {
    EXPECT_EQ(QThread::currentThread(), receiver.thread());
    outcome = o;
    received = true;
  });
  QObject::connect(thread, &QObject::destroyed, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  thread->SetJobFileName(sJob);
  thread->SetRange(20, 4000);
  thread->SetBackground(true);
  thread->SetFreeOnTerminate(true);
  thread->start();
  loop.exec();
  EXPECT_TRUE(alive.isNull());
  ASSERT_TRUE(received);
  EXPECT_EQ(outcome.result, RC_SUCCESS);
  EXPECT_EQ(outcome.jobFileName, sJob);
  EXPECT_TRUE(outcome.background);
  EXPECT_EQ(outcome.loaded, 3981);
  ASSERT_TRUE(outcome.headers);
  EXPECT_EQ(outcome.headers.use_count(), 1);
  EXPECT_TRUE(SameSet(*outcome.headers, *DirectSet(*sHeaders, 20, 4000)));
}

TEST_F(LoadHeadersTest, AStoppedLoadReportsNothingAndAFailedOneReportsItsResult) {
  for (const bool abort : {true, false}) {
    SCOPED_TRACE(abort ? "stopped" : "failed");
    TLoadHeadersThread thread;
    bool received = false;
    TLoadHeadersOutcome outcome;
    QObject::connect(&thread, &TLoadHeadersThread::LoadFinished, &thread, [&](const TLoadHeadersOutcome& o) {
      received = true;
      outcome = o;
    });
    thread.SetJobFileName(abort ? sJob : fDir.File(u"missing.kvj"_s));
    if (abort) thread.Abort();
    thread.start();
    ASSERT_TRUE(thread.wait(20000));
    QCoreApplication::processEvents();
    EXPECT_EQ(thread.Result(), abort ? RC_ABORTED : RC_FAILED_INITALIZATION);
    EXPECT_EQ(received, !abort);
    if (!abort) {
      EXPECT_EQ(outcome.result, RC_FAILED_INITALIZATION);
      EXPECT_FALSE(outcome.headers);
    }
  }
}

namespace {

class TPromptRecorder : public TUserPrompt::THandler {
 public:
  TPromptRecorder() { TUserPrompt::SetHandler(this); }
  ~TPromptRecorder() override { TUserPrompt::SetHandler(nullptr); }
  void Information(const QString&, const QString&) override {}
  void Warning(const QString&, const QString&) override {}
  void Error(const QString& text, const QString&) override { errors << text; }
  bool Confirm(const QString& text, const QString&) override {
    questions << text;
    return answer;
  }
  TUserPrompt::TAnswer Question(const QString&, const QString&) override { return TUserPrompt::ANSWER_CANCEL; }

  bool answer = true;
  QStringList questions;
  QStringList errors;
};

}  // namespace

TEST(HeadersLoadWarning, EstimatesMemoryAndAsksOnlyWhenTheLoadIsLarge) {
  EXPECT_EQ(EstimateHeadersMemory(250000), 35625000);
  EXPECT_EQ(EstimateHeadersMemory(30), 2 * 50 + 30 * 140);  // 1.5 rounds to even
  EXPECT_EQ(EstimateHeadersMemory(50), 2 * 50 + 50 * 140);  // 2.5 rounds to even
  EXPECT_EQ(EstimateHeadersMemory(0), 0);
  const std::int64_t gb = 1 << 30;
  struct TCase {
    std::int64_t count;
    int threshold, action;
    std::int64_t free;
    bool answer;
    TLoadWarningChoice choice;
    bool asked;
  } cases[] = {
      {250000, 500000, 2, gb, false, LOAD_WARNING_LOAD, false},         // small and fits
      {250000, 500000, 2, 30000000, true, LOAD_WARNING_LOAD, true},     // does not fit: asked, yes
      {250000, 500000, 2, 30000000, false, LOAD_WARNING_CANCEL, true},  // asked, no
      {500000, 500000, 2, 64 * gb, false, LOAD_WARNING_CANCEL, true},   // at the threshold
      {500000, 500000, 1, 1000, false, LOAD_WARNING_LOAD, false},       // never ask
      {600000, 500000, 3, 64 * gb, false, LOAD_WARNING_SELECT_RANGE, false},
      {600000, 500000, 0, 64 * gb, false, LOAD_WARNING_LOAD, false},
      {600000, 500000, 3, 64 * gb, false, LOAD_WARNING_SELECT_RANGE, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " action " << c.action << " free " << c.free);
    TPromptRecorder prompt;
    prompt.answer = c.answer;
    EXPECT_EQ(WarnLoadingHeaders(c.count, c.threshold, c.action, c.free), c.choice);
    EXPECT_EQ(prompt.questions.size(), c.asked ? 1 : 0);
  }
  TPromptRecorder prompt;
  WarnLoadingHeaders(250000, 500000, 2, 30000000);
  ASSERT_EQ(prompt.questions.size(), 1);
  EXPECT_TRUE(prompt.questions[0].startsWith(u"You are about to load 250"_s)) << prompt.questions[0].toStdString();
  EXPECT_TRUE(prompt.questions[0].contains(u" approximately 33.97 MB of memory. You have 28.61 MB of free"_s))
      << prompt.questions[0].toStdString();
  EXPECT_TRUE(prompt.questions[0].endsWith(
      u"Continue with loading?\r\n\r\n(you can disable or edit this confirmation check from the global settings)"_s));
  EXPECT_GT(FreePhysicalMemory(), 0);
}

TEST(LoadHeadersHandOver, AFailedLoadIsReportedToTheUser) {
  TPromptRecorder prompt;
  TLoadHeadersThread::ReportLoadFailure(RC_OPERATION_FAILED);
  ASSERT_EQ(prompt.errors.size(), 1);
  EXPECT_EQ(prompt.errors[0], QString::fromLatin1(loadheaders::kLoadFailed));
}

TEST_F(LoadHeadersTest, CommandLineLoadPrintsCountsAndRefusesBadArguments) {
  struct TCase {
    QStringList arguments;
    int exit;
    QString output;  // a line the output must hold
  } cases[] = {
      {{sJob}, 0, u"articles: 12345"_s},
      {{sDir->File(u"{JOB}.hdrs"_s), u"12001"_s}, 0, u"articles: 345"_s},
      {{sDir->File(u"{JOB}.idx"_s), u"2"_s, u"3"_s}, 0, u"headers skipped before first: 1"_s},
      {{sDir->File(u"{JOB}"_s)}, 0, u"articles: 12345"_s},
      {{}, 2, {}},
      {{sJob, u"0"_s}, 2, {}},
      {{sJob, u"5"_s, u"4"_s}, 2, {}},
      {{sJob, u"x"_s}, 2, {}},
      {{fDir.File(u"none.kvj"_s)}, 1, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString());
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunLoadCommand(c.arguments, outStream, errStream), c.exit);
    outStream.flush();
    if (!c.output.isEmpty()) {
      EXPECT_TRUE(out.contains(c.output + u'\n')) << out.toStdString();
    }
    if (c.exit != 0) {
      EXPECT_FALSE(err.isEmpty());
    }
  }
  // The binary posts it counts add up.
  QString out, err;
  QTextStream outStream(&out), errStream(&err);
  ASSERT_EQ(RunLoadCommand({sJob}, outStream, errStream), 0);
  outStream.flush();
  const std::unique_ptr<THeaders> direct = DirectSet(*sHeaders, 1, sHeaders->size());
  int binary = 0, complete = 0;
  for (int p = 0; p < direct->PostCount(); ++p) {
    binary += direct->Post(p).IsMultipart();
    complete += direct->Post(p).HasFlag(POST_FLAG_COMPLETE_MULTIPART);
  }
  EXPECT_TRUE(out.contains(u"binary posts: %1 complete, %2 incomplete\n"_s.arg(complete).arg(binary - complete)))
      << out.toStdString();
  EXPECT_TRUE(out.contains(u"posts: %1 ("_s.arg(direct->PostCount()))) << out.toStdString();
}
