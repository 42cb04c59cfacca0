// Headers jobs against the private INN: a group of 50,000 realistic articles
// fetched over one and over four connections, the kill file, korvel-cli
// headers followed by korvel-cli load, and a group that does not exist.
#include "DownloadFixture.h"

#include "HeaderGenerator.h"
#include "app/Wildcard.h"
#include "headers/HeadersCommand.h"
#include "headers/JobFile.h"
#include "headers/LoadCommand.h"
#include "nntp/ArticleDate.h"
#include "support/InnServer.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int kArticles = 50000;

// What the header files must hold for one article.
struct TExpected {
  std::string subject, sender, messageId, references;
  std::uint16_t part = 0, total = 0;
  bool reply = false;
  double utcDays = 0;
};

// Feeds kArticles articles made from the header generator (binary post sets
// of several posters and text threads with references; dates a second or so
// apart) into a new group and answers what the files must hold, in article
// number order. Every 500th subject comes as an encoded word.
QByteArray SeedGroup(std::vector<TExpected>& expected) {
  const QByteArray group = TInnServer::UniqueGroup("headersjob");
  QString error;
  EXPECT_TRUE(TInnServer::CreateGroups({group}, &error)) << error.toStdString();
  // Message-ids are remembered by the server for its whole run.
  const QByteArray token = TInnServer::UniqueMessageId().replace('@', '.') + '.';

  THeaderGeneratorOptions options;
  options.seed = 20240501;
  options.textShare = 0.1;
  THeaderGenerator generator(options);
  // A server takes a message-id once; the generator repeats some (parts that
  // arrive twice, numbered ids alike across the files of a set).
  QSet<QByteArray> ids;
  QList<QByteArray> batch;
  for (int i = 0; i < kArticles;) {
    const TLoadedHeader& h = generator.Next();
    const QByteArray id = h.messageId.toByteArray();
    if (ids.contains(id)) continue;
    ids.insert(id);
    TExpected e;
    e.subject.assign(h.subject.data(), static_cast<std::size_t>(h.subject.size()));
    e.sender.assign(h.sender.data(), static_cast<std::size_t>(h.sender.size()));
    e.messageId = token.toStdString() + std::string(h.messageId.data(), static_cast<std::size_t>(h.messageId.size()));
    QByteArray references = h.references.toByteArray();
    references.replace("<", "<" + token);
    e.references = references.toStdString();
    e.part = h.partNumber;
    e.total = h.totalParts;
    e.reply = h.reply;
    // Whole seconds, as the Date header carries them.
    e.utcDays = std::round(h.date * 86400.0) / 86400.0;
    const QDateTime date =
        QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC).addSecs(std::llround(e.utcDays * 86400.0));

    QByteArray subject = QByteArray::fromStdString(generator.PostedSubject());
    if (i % 500 == 0) subject = "=?UTF-8?B?" + subject.toBase64() + "?=";
    QByteArray article;
    article += "Path: feeder.korvel.invalid!not-for-mail\r\n";
    article += "From: " + h.sender.toByteArray() + "\r\n";
    article += "Newsgroups: " + group + "\r\n";
    article += "Subject: " + subject + "\r\n";
    article += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    article += "Message-ID: <" + QByteArray::fromStdString(e.messageId) + ">\r\n";
    if (!references.isEmpty()) article += "References: " + references + "\r\n";
    article += "\r\n";
    article += h.totalParts ? "=ybegin part=1 line=128 size=1000 name=x\r\n0123456789\r\n=yend\r\n" : "A reply.\r\n";
    batch << article;
    expected.push_back(std::move(e));
    ++i;
    if (batch.size() == 5000) {
      EXPECT_TRUE(TInnServer::Feed(batch, &error)) << error.toStdString();
      batch.clear();
    }
  }
  if (!batch.isEmpty()) {
    EXPECT_TRUE(TInnServer::Feed(batch, &error)) << error.toStdString();
  }
  return group;
}

::testing::AssertionResult Matches(const TStoredHeader& h, const TExpected& e, std::uint32_t number, double offsetDays) {
  const auto differ = [&](const char* field, const std::string& got, const std::string& want) {
    return ::testing::AssertionFailure() << "article " << number << ": " << field << " \"" << got << "\", expected \""
                                         << want << '"';
  };
  if (h.fields.number != number) return ::testing::AssertionFailure() << "number " << h.fields.number << " for " << number;
  if (h.subject != e.subject) return differ("subject", h.subject, e.subject);
  if (h.sender != e.sender) return differ("sender", h.sender, e.sender);
  if (h.messageId != e.messageId) return differ("message-id", h.messageId, e.messageId);
  if (h.references != e.references) return differ("references", h.references, e.references);
  if (h.fields.partNumber != e.part || h.fields.totalParts != e.total || h.fields.reply != e.reply)
    return ::testing::AssertionFailure() << "article " << number << ": counter or reply flag";
  if (std::abs(h.fields.date - (e.utcDays + offsetDays)) > 1.5 / 86400.0)
    return ::testing::AssertionFailure() << "article " << number << ": date " << h.fields.date;
  if (h.fields.newsgroup != 0 || h.fields.lines == 0 || h.fields.bytes == 0)
    return ::testing::AssertionFailure() << "article " << number << ": newsgroup, lines or bytes";
  return ::testing::AssertionSuccess();
}

// The value of "label: value" in a command's output.
QString OutputValue(const QString& output, const QString& label) {
  const QRegularExpression line(u"^"_s + QRegularExpression::escape(label) + u": (.*)$"_s,
                                QRegularExpression::MultilineOption);
  return line.match(output).captured(1).trimmed();
}

class HeadersDownloadInn : public testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
  }
};

}  // namespace

TEST_F(HeadersDownloadInn, FiftyThousandArticles) {
  std::vector<TExpected> expected;
  const QByteArray group = SeedGroup(expected);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kArticles));
  const double offsetDays = TArticleDateClock::Now().localOffsetSeconds / 86400.0;

  // One connection and four connections give the same files.
  QByteArray files[2][3];
  for (int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    TDownloadRun run;
    run.server.host = TInnServer::Host().toUtf8();
    const TJobOutcome outcome = run.Run(run.Create({QString::fromUtf8(group)}, connections, TInnServer::Port()));
    ASSERT_TRUE(outcome.ended);
    ASSERT_EQ(outcome.info.status, JOB_STATUS_COMPLETED) << outcome.info.resultString.toStdString();
    EXPECT_EQ(outcome.info.headersDownloaded, kArticles);
    EXPECT_EQ(outcome.progress.linesReceived, kArticles);
    EXPECT_EQ(outcome.progress.linesFailed + outcome.progress.linesSkipped + outcome.progress.reconnections, 0);
    const QUuid guid = outcome.info.guid;
    const std::vector<TStoredHeader> headers = ReadHeaderFiles(run.File(guid, u".hdrs"_s), run.File(guid, u".idx"_s));
    ASSERT_EQ(headers.size(), expected.size());
    int wrong = 0;
    for (std::size_t i = 0; i < headers.size() && wrong < 5; ++i) {
      const ::testing::AssertionResult same =
          Matches(headers[i], expected[i], static_cast<std::uint32_t>(i + 1), offsetDays);
      if (!same) ++wrong;
      EXPECT_TRUE(same);
    }
    EXPECT_EQ(SeekEntries(run.File(guid, u".seek"_s)).size(), static_cast<std::size_t>(kArticles / 5000));
    const int slot = connections == 1 ? 0 : 1;
    files[slot][0] = FileBytes(run.File(guid, u".hdrs"_s));
    files[slot][1] = FileBytes(run.File(guid, u".idx"_s));
    files[slot][2] = FileBytes(run.File(guid, u".seek"_s));
  }
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(files[0][k] == files[1][k]) << "file " << k << " differs";

  // The kill file drops one poster and the .nfo files of everyone.
  {
    const std::string poster = expected[7].sender;
    const auto killed = [&poster](const TExpected& e) {
      return QByteArray::fromStdString(e.sender).toLower() == QByteArray::fromStdString(poster).toLower() ||
             MatchWildcard(QByteArrayView("*.nfo*"), QByteArray::fromStdString(e.subject).toLower());
    };
    const auto count = std::count_if(expected.cbegin(), expected.cend(), killed);
    ASSERT_GT(count, 100);
    ASSERT_LT(count, kArticles / 2);

    TDownloadRun run;
    run.dir.Write(u"_Killfile.txt"_s, "# test\r\nfrom: " + QByteArray::fromStdString(poster) +
                                          "\r\nsubject: *.NFO*\r\n");
    run.server.host = TInnServer::Host().toUtf8();
    const TJobOutcome outcome = run.Run(run.Create({QString::fromUtf8(group)}, 4, TInnServer::Port()));
    ASSERT_EQ(outcome.info.status, JOB_STATUS_COMPLETED);
    EXPECT_EQ(outcome.stats.headersKilled, count);
    EXPECT_EQ(outcome.info.headersDownloaded, kArticles - count);
    const std::vector<TStoredHeader> headers =
        ReadHeaderFiles(run.File(outcome.info.guid, u".hdrs"_s), run.File(outcome.info.guid, u".idx"_s));
    ASSERT_EQ(static_cast<std::int64_t>(headers.size()), kArticles - count);
    for (const TStoredHeader& h : headers) {
      const TExpected& e = expected[h.fields.number - 1];
      ASSERT_FALSE(killed(e)) << "article " << h.fields.number << " should have been killed";
    }
  }

  // korvel-cli headers without a profile, then korvel-cli load of what it wrote.
  {
    TTempDir dir;
    QString output, errors;
    QTextStream out(&output), err(&errors);
    const int status = RunHeadersCommand({QString::fromUtf8(group), u"--host"_s,
                                          TInnServer::Host() + u':' + QString::number(TInnServer::Port()),
                                          u"--connections"_s, u"4"_s, u"--dir"_s, dir.Path(), u"--quiet"_s},
                                         out, err);
    out.flush();
    err.flush();
    ASSERT_EQ(status, 0) << output.toStdString() << errors.toStdString();
    const QString jobFile = OutputValue(output, u"job file"_s);
    EXPECT_TRUE(jobFile.startsWith(dir.Path())) << output.toStdString();
    EXPECT_TRUE(output.contains(u".hdrs ("_s) && output.contains(u".idx ("_s) && output.contains(u".seek ("_s))
        << output.toStdString();
    EXPECT_EQ(OutputValue(output, u"result"_s), u"Successful (Completed)"_s);

    QString loaded;
    QTextStream loadOut(&loaded);
    ASSERT_EQ(RunLoadCommand({jobFile}, loadOut, err), 0) << errors.toStdString();
    loadOut.flush();
    EXPECT_EQ(OutputValue(loaded, u"articles"_s), QString::number(kArticles)) << loaded.toStdString();
    // Loaded from header 45,001 on, through the seek file.
    loaded.clear();
    ASSERT_EQ(RunLoadCommand({jobFile, u"45001"_s}, loadOut, err), 0);
    loadOut.flush();
    EXPECT_EQ(OutputValue(loaded, u"articles"_s), u"5000"_s) << loaded.toStdString();
  }
}

TEST_F(HeadersDownloadInn, NewsgroupThatDoesNotExist) {
  const QByteArray group = TInnServer::UniqueGroup("present");
  ASSERT_TRUE(TInnServer::CreateGroups({group}));
  ASSERT_TRUE(TInnServer::Post(TInnServer::MakeArticle(group, "only one", "body\r\n", TInnServer::UniqueMessageId())));
  TDownloadRun run;
  run.server.host = TInnServer::Host().toUtf8();
  const TJobOutcome outcome =
      run.Run(run.Create({u"korvel.test.does-not-exist"_s, QString::fromUtf8(group)}, 4, TInnServer::Port()));
  ASSERT_TRUE(outcome.ended);
  ASSERT_EQ(outcome.info.newsgroups.size(), 2);
  EXPECT_EQ(outcome.info.newsgroups[0].result, DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP);
  EXPECT_EQ(outcome.info.newsgroups[1].result, DOWNLOAD_RESULT_SUCCESS);
  EXPECT_EQ(outcome.info.result, DOWNLOAD_RESULT_FAILURE);
  EXPECT_EQ(outcome.info.resultString, u"At least one newsgroup didn't exist on the server"_s);
  EXPECT_EQ(outcome.info.headersDownloaded, 1);

  TDownloadRun alone;
  alone.server.host = TInnServer::Host().toUtf8();
  const TJobOutcome missing = alone.Run(alone.Create({u"korvel.test.does-not-exist"_s}, 1, TInnServer::Port()));
  EXPECT_EQ(missing.info.result, DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP);
  EXPECT_EQ(missing.info.status, JOB_STATUS_STOPPED);
  EXPECT_EQ(alone.OtherFiles(missing.info.guid), QStringList());
}
