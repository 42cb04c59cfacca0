// Downloads from the private INN servers of the test run ("inn", and
// "inn_fill" for a second one): real binaries posted in 700 KiB yEnc parts,
// fetched through their NZB and compared byte for byte.
#include "DownloadTestSupport.h"

#include "binaries/DownloadList.h"
#include "support/InnServer.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kPart = 700 * 1024;

// A second private INN for one test, stopped (and its directory removed) at the end.
class TSecondInn {
 public:
  TSecondInn() {
    QProcess start;
    start.setProcessChannelMode(QProcess::MergedChannels);
    start.start(Script(), {u"start"_s, StateFile()});
    fStarted = start.waitForFinished(120000) && start.exitCode() == 0;
    if (!fStarted) fError = QString::fromUtf8(start.readAll());
  }
  ~TSecondInn() {
    QProcess stop;
    stop.start(Script(), {u"stop"_s, StateFile()});
    stop.waitForFinished(60000);
  }
  bool Started() const { return fStarted; }
  QString Error() const { return fError; }
  QString StateFile() const { return fDir.path() + u"/fill.ini"_s; }

 private:
  static QString Script() { return QStringLiteral(KORVEL_SOURCE_DIR) + u"/tests/servers/inn-server.sh"_s; }
  QTemporaryDir fDir;
  bool fStarted = false;
  QString fError;
};

// Points TInnServer at another server's state file for its lifetime.
class TUseServer {
 public:
  explicit TUseServer(const QString& stateFile) : fOld(qgetenv("KORVEL_INN_STATE")) {
    qputenv("KORVEL_INN_STATE", stateFile.toLocal8Bit());
  }
  ~TUseServer() {
    if (fOld.isEmpty())
      qunsetenv("KORVEL_INN_STATE");
    else
      qputenv("KORVEL_INN_STATE", fOld);
  }

 private:
  QByteArray fOld;
};

class DownloadInn : public testing::Test {
 protected:
  void SetUp() override {
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
    group = TInnServer::UniqueGroup("download");
    QString error;
    ASSERT_TRUE(TInnServer::CreateGroups({group}, &error)) << error.toStdString();
  }

  // Files of the given sizes, posted to the server.
  QList<TPostedFile> Post(const QList<qsizetype>& sizes, quint32 seed) {
    QList<TPostedFile> files;
    QList<QByteArray> articles;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
      files.append(MakeYencPost(u"file "_s + QString::number(i) + u".bin"_s,
                                RandomBytes(sizes[i], seed + static_cast<quint32>(i)), group, kPart));
      articles += files.last().articles;
    }
    QString error;
    EXPECT_TRUE(TInnServer::Feed(articles, &error)) << error.toStdString();
    return files;
  }

  // korvel-cli download, with the given extra arguments and environment.
  int Cli(const QStringList& arguments, QString* output = nullptr, const QStringList& environment = {}) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment) env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    cli.setProcessEnvironment(env);
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(QStringLiteral(KORVEL_CLI_PATH), QStringList{u"download"_s} + arguments);
    EXPECT_TRUE(cli.waitForFinished(120000));
    if (output) *output = QString::fromUtf8(cli.readAll());
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
  }

  QStringList Server() const {
    return {u"--host"_s, TInnServer::Host(), u"--port"_s, QString::number(TInnServer::Port())};
  }

  static void ExpectFiles(const QString& dir, const QList<TPostedFile>& files) {
    QStringList names;
    for (const TPostedFile& f : files) {
      names.append(f.name);
      EXPECT_TRUE(ReadAll(dir + f.name) == f.data) << f.name.toStdString();
    }
    names.sort();
    EXPECT_EQ(DecodedNames(dir), names);
  }

  QByteArray group;
};
}  // namespace

// The command line turns an NZB into correct files with one and with four connections.
TEST_F(DownloadInn, CommandLineDownloadsWholeFiles) {
  // From a single article to a 30-part post that several connections share.
  const QList<TPostedFile> files = Post({1 << 20, 3 << 19, 3 << 20, 50000, 20 << 20}, 100);
  TTempDir dir;
  const QString nzb = dir.Write(u"posted.nzb"_s, MakeNzb(files, group));
  for (const int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    const QString out = dir.File(u"out"_s + QString::number(connections) + u'/');
    QString output;
    const int code = Cli(QStringList{nzb, u"--dir"_s, out, u"--quiet"_s} + Server() +
                             QStringList{u"--connections"_s, QString::number(connections)},
                         &output);
    EXPECT_EQ(code, 0) << output.toStdString();
    ExpectFiles(out, files);
  }
}

// The primary server lacks some articles; the fill server supplies them.
TEST_F(DownloadInn, FillServerSuppliesWhatThePrimaryLacks) {
  const TSecondInn second;
  ASSERT_TRUE(second.Started()) << second.Error().toStdString();
  const QString fillState = second.StateFile();
  QList<TPostedFile> files;
  QList<QByteArray> primary;
  QList<QByteArray> all;
  for (int i = 0; i < 3; ++i) {
    files.append(MakeYencPost(u"part"_s + QString::number(i) + u".rar"_s, RandomBytes(2 * kPart + 1000 * i, 200 + i),
                              group, kPart));
    for (qsizetype k = 0; k < files.last().articles.size(); ++k) {
      all.append(files.last().articles[k]);
      if (k != 1) primary.append(files.last().articles[k]);  // every second part is missing
    }
  }
  QString error;
  ASSERT_TRUE(TInnServer::Feed(primary, &error)) << error.toStdString();
  quint16 fillPort;
  {
    TUseServer fill(fillState);
    QString why;
    ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
    ASSERT_TRUE(TInnServer::CreateGroups({group}, &error)) << error.toStdString();
    ASSERT_TRUE(TInnServer::Feed(all, &error)) << error.toStdString();
    fillPort = TInnServer::Port();
  }
  TTempDir dir;
  TSessionRun run;
  run.cuePath = dir.File(u"list.cue"_s);
  run.outDir = dir.File(u"out/"_s);
  const TSessionRecord r = RunDownload(dir.Write(u"p.nzb"_s, MakeNzb(files, group)),
                                       {LocalServer(u"Primary"_s, TInnServer::Port(), 2),
                                        LocalServer(u"Fill"_s, fillPort, 2, true)},
                                       run);
  EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
  EXPECT_EQ(r.summary.complete, 3);
  EXPECT_EQ(r.summary.missingArticles, 0);
  ExpectFiles(run.outDir, files);
}

// Killed outright in the middle of a download, the command resumes the same
// list, fetches nothing already decoded again, and the files come out whole.
TEST_F(DownloadInn, KilledDownloadResumes) {
  QList<qsizetype> sizes;
  for (int i = 0; i < 8; ++i) sizes.append(kPart + 20000 * i);  // one article, then two each
  const QList<TPostedFile> files = Post(sizes, 300);
  int total = 0;
  for (const TPostedFile& f : files) total += static_cast<int>(f.articles.size());
  TTempDir dir;
  const QString nzb = dir.Write(u"crash.nzb"_s, MakeNzb(files, group));
  const QString out = dir.File(u"out/"_s);
  const QStringList args = QStringList{nzb, u"--dir"_s, out, u"--quiet"_s} + Server();

  QString output;
  EXPECT_EQ(Cli(args, &output, {u"KORVEL_DOWNLOAD_KILL_AFTER=9"_s}), -1) << output.toStdString();

  // What the list says is done must not be fetched again.
  TDownloadList list;
  const QString cue = out + u".korvel/crash.cue"_s;
  ASSERT_TRUE(list.Load(cue));
  list.BuildPosts();
  int done = 0;
  for (int post : list.Rows()) {
    if (list.Entry(post).Status() != DOWNLOAD_STATUS_COMPLETE) continue;
    const auto [begin, end] = list.PostRange(post);
    done += end - begin;
  }
  EXPECT_LT(done, total);

  EXPECT_EQ(Cli(QStringList{nzb, u"--dir"_s, out} + Server(), &output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(u"Resuming"_s)) << output.toStdString();
  const QRegularExpressionMatch m = QRegularExpression(u"Downloading (\\d+) articles"_s).match(output);
  ASSERT_TRUE(m.hasMatch()) << output.toStdString();
  EXPECT_EQ(m.captured(1).toInt(), total - done);
  ExpectFiles(out, files);
  EXPECT_FALSE(QFileInfo::exists(out + u".korvel-decoding"_s));
}

// The largest post users meet, 200 MiB in 293 parts, comes out whole with one
// and with four connections. Only its digest is kept in memory while it is
// downloaded.
TEST_F(DownloadInn, LargePostComesOutWhole) {
  TTempDir dir;
  QByteArray digest;
  qsizetype size = 0;
  QString nzb;
  {
    const TPostedFile file = MakeYencPost(u"large.bin"_s, RandomBytes(200 << 20, 500), group, kPart);
    ASSERT_EQ(file.articles.size(), 293);
    digest = QCryptographicHash::hash(file.data, QCryptographicHash::Sha256);
    size = file.data.size();
    nzb = dir.Write(u"large.nzb"_s, MakeNzb({file}, group));
    QString error;
    ASSERT_TRUE(TInnServer::Feed(file.articles, &error)) << error.toStdString();
  }
  for (const int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    const QString out = dir.File(u"large"_s + QString::number(connections) + u'/');
    QString output;
    const int code = Cli(QStringList{nzb, u"--dir"_s, out, u"--quiet"_s} + Server() +
                             QStringList{u"--connections"_s, QString::number(connections)},
                         &output);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_EQ(DecodedNames(out), QStringList{u"large.bin"_s});
    QFile decoded(out + u"large.bin"_s);
    ASSERT_TRUE(decoded.open(QIODevice::ReadOnly));
    EXPECT_EQ(decoded.size(), size);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    ASSERT_TRUE(hash.addData(&decoded));
    EXPECT_EQ(hash.result(), digest);
  }
}
