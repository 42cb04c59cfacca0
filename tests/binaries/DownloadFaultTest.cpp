// The download manager against scripted servers: what it does when servers
// lack articles, drop the connection, go silent, refuse logins or are not
// there at all. Nothing may be lost or corrupted, and the session must end.
#include "DownloadTestSupport.h"

#include "binaries/DownloadList.h"
#include "binaries/DownloadContext.h"
#include "binaries/DupeKeyFile.h"
#include "binaries/FileDupeKey.h"
#include "binaries/DownloadManager.h"
#include "binaries/ImportNzb.h"
#include "servers/FakeNntpServer.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kPart = 64 * 1024;
const QByteArray kGroup = "alt.binaries.korvel.test";

// A scripted server that has the given articles (all others are 430).
struct TServer {
  TFakeNntpServer fake;
  explicit TServer(const QList<QByteArray>& articles = {}) {
    fake.On("GROUP").Line("211 0 1 1 " + kGroup);
    for (const QByteArray& a : articles) Serve(a);
  }
  void Serve(const QByteArray& article) {
    const QByteArray id = ArticleLines(article).first().mid(12);  // "Message-ID: <...>"
    fake.On("ARTICLE " + id).MultiLine("220 0 " + id + " article", ArticleLines(article));
  }
  bool Start() {
    fake.On("ARTICLE").Line("430 No such article");
    return fake.Start();
  }
  int Requests(const QByteArray& id) const {
    int n = 0;
    for (const QByteArray& c : fake.Commands())
      if (c == "ARTICLE <" + id + ">") ++n;
    return n;
  }
};

struct TFixture {
  TTempDir dir;
  QString nzb;
  TSessionRun run;
  QList<TPostedFile> files;

  explicit TFixture(const QList<TPostedFile>& posted) : files(posted) {
    nzb = dir.Write(u"test.nzb"_s, MakeNzb(files, kGroup));
    run.cuePath = dir.File(u"list.cue"_s);
    run.outDir = dir.File(u"out/"_s);
  }
  void ExpectFile(const TPostedFile& f) const {
    EXPECT_EQ(ReadAll(run.outDir + f.name), f.data) << f.name.toStdString();
  }
  QStringList Output() const { return DecodedNames(run.outDir); }
};

QList<QByteArray> AllArticles(const QList<TPostedFile>& files) {
  QList<QByteArray> out;
  for (const TPostedFile& f : files) out += f.articles;
  return out;
}
}  // namespace

// A connection dropped in the middle of an article, or a server gone silent,
// is retried; the file comes out whole and no partial article is kept.
TEST(DownloadFaults, DroppedOrSilentConnectionIsRetriedWithoutCorruption) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "dropped");
    const TPostedFile file = MakeYencPost(u"movie.bin"_s, RandomBytes(3 * kPart + 100, 7), kGroup, kPart);
    TServer server;
    const QByteArray id = "<" + file.messageIds[1] + ">";
    const QByteArray& second = file.articles[1];
    TFakeReply& fault = server.fake.On("ARTICLE " + id).Send("220 0 " + id + " article\r\n");
    if (silent)
      fault.Send(second.left(second.size() / 2)).Pause(60000);
    else
      fault.Send(second.left(second.size() / 2)).Close();
    fault.Times(1);
    for (const QByteArray& a : file.articles) server.Serve(a);
    ASSERT_TRUE(server.Start());
    TFixture f({file});
    f.run.configure = [](TDownloadSessionSetup& s) { s.clientTimeout = 1; };
    const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
    EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
    EXPECT_EQ(r.summary.complete, 1);
    f.ExpectFile(file);
    EXPECT_EQ(server.Requests(file.messageIds[1]), 2);
    EXPECT_GE(server.fake.Connections(), 2);
    EXPECT_EQ(f.Output(), QStringList({u"movie.bin"_s}));  // no stored articles or working files left
  }
}

// An article the first primary server lacks comes from the second; one both
// lack comes from the fill server; one missing everywhere is reported and the
// rest of the list completes.
TEST(DownloadFaults, MissingArticlesMoveOnToOtherServers) {
  const TPostedFile whole = MakeYencPost(u"whole.bin"_s, RandomBytes(3 * kPart, 11), kGroup, kPart);
  const TPostedFile broken = MakeYencPost(u"broken.bin"_s, RandomBytes(2 * kPart, 12), kGroup, kPart);
  const QList<TPostedFile> files{whole, broken};
  const QList<QByteArray> all = AllArticles(files);
  const QByteArray lost = broken.articles[1];
  auto without = [&](std::initializer_list<QByteArray> missing) {
    QList<QByteArray> out;
    for (const QByteArray& a : all)
      if (std::find(missing.begin(), missing.end(), a) == missing.end()) out.append(a);
    return out;
  };
  TServer first(without({whole.articles[1], whole.articles[2], lost}));
  TServer second(without({whole.articles[2], lost}));
  TServer fill(without({lost}));
  ASSERT_TRUE(first.Start() && second.Start() && fill.Start());
  TFixture f(files);
  const TSessionRecord r = RunDownload(f.nzb,
                                       {LocalServer(u"A"_s, first.fake.Port()), LocalServer(u"B"_s, second.fake.Port()),
                                        LocalServer(u"Fill"_s, fill.fake.Port(), 1, true)},
                                       f.run);
  EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
  f.ExpectFile(whole);
  EXPECT_FALSE(QFileInfo::exists(f.run.outDir + broken.name));
  EXPECT_EQ(r.summary.posts, 2);
  EXPECT_EQ(r.summary.complete, 1);
  EXPECT_EQ(r.summary.unavailable, 1);
  EXPECT_EQ(r.summary.missingArticles, 1);
  EXPECT_GE(r.Count(DM_NOT_SERVED), 1);
  // The primary servers share the work; the fill server is asked only for
  // what both lack, and every server once at most for each article.
  EXPECT_EQ(fill.Requests(whole.messageIds[0]), 0);
  EXPECT_EQ(fill.Requests(whole.messageIds[1]), 0);
  EXPECT_EQ(fill.Requests(whole.messageIds[2]), 1);
  EXPECT_EQ(fill.Requests(broken.messageIds[1]), 1);
  for (const QByteArray& id : broken.messageIds + whole.messageIds) {
    EXPECT_LE(first.Requests(id), 1);
    EXPECT_LE(second.Requests(id), 1);
  }
  EXPECT_EQ(first.Requests(broken.messageIds[1]), 1);
  EXPECT_EQ(second.Requests(broken.messageIds[1]), 1);
  ASSERT_EQ(r.connections.size(), 3);
  EXPECT_FALSE(r.connections[0].fill);
  EXPECT_TRUE(r.connections[2].fill);
  // The stored articles of the post that could not be finished stay for a later try.
  EXPECT_TRUE(f.Output().contains(u"Msg_"_s + QString::fromLatin1(broken.messageIds[0]) + u".txt"_s));

  // The statuses are kept for the next session: the missing article is pending again.
  TDownloadList list;
  ASSERT_TRUE(list.Load(f.run.cuePath));
  int complete = 0;
  for (const TDownloadEntry& e : list.Entries()) complete += e.Status() == DOWNLOAD_STATUS_COMPLETE;
  EXPECT_EQ(complete, 3);
}

// Servers that only have a download limit act as primary servers when they are all there is.
TEST(DownloadFaults, FillServersAloneServeAsPrimary) {
  const TPostedFile file = MakeYencPost(u"a.bin"_s, RandomBytes(kPart / 2, 3), kGroup, kPart);
  TServer server({file.articles});
  ASSERT_TRUE(server.Start());
  TFixture f({file});
  const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Limited"_s, server.fake.Port(), 1, true)}, f.run);
  EXPECT_EQ(r.summary.complete, 1);
  f.ExpectFile(file);
}

// With action 2 an authentication error disables only the connection that
// had it; the other connection does the work.
TEST(DownloadFaults, AuthenticationErrorDisablesOnlyThatConnection) {
  const TPostedFile file = MakeYencPost(u"a.bin"_s, RandomBytes(4 * kPart, 5), kGroup, kPart);
  TServer server({file.articles});
  server.fake.On("AUTHINFO USER").Line("381 Password required");
  server.fake.On("AUTHINFO PASS").Line("481 Authentication failed").Times(1);
  server.fake.On("AUTHINFO PASS").Line("281 Ok");
  ASSERT_TRUE(server.Start());
  TFixture f({file});
  TConnectionServer s = LocalServer(u"Main"_s, server.fake.Port(), 2);
  s.server.userName = "user";
  s.server.password = "secret";
  f.run.configure = [](TDownloadSessionSetup& setup) { setup.settings.AuthenticationErrorAction = 2; };
  const TSessionRecord r = RunDownload(f.nzb, {s}, f.run);
  EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
  EXPECT_EQ(r.summary.complete, 1);
  f.ExpectFile(file);
  EXPECT_EQ(r.connectionTexts.count(u"Connection disabled due to authentication error"_s), 1);
}

// A server that cannot be reached is given up after a few tries; its
// articles are reported missing and the session ends.
TEST(DownloadFaults, UnreachableServerEndsTheSession) {
  quint16 port;
  {
    TFakeNntpServer gone;
    ASSERT_TRUE(gone.Start());
    port = gone.Port();
  }
  const TPostedFile file = MakeYencPost(u"a.bin"_s, RandomBytes(kPart, 9), kGroup, kPart);
  TFixture f({file});
  const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Gone"_s, port, 2)}, f.run);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
  EXPECT_EQ(r.summary.unavailable, 1);
  EXPECT_TRUE(r.connectionTexts.contains(u"Connection disabled"_s));
}

// A server without the group still serves the article by its identifier.
TEST(DownloadFaults, RefusedGroupFallsBackToTheMessageId) {
  const TPostedFile file = MakeYencPost(u"a.bin"_s, RandomBytes(2 * kPart, 13), kGroup, kPart);
  TFakeNntpServer fake;
  fake.On("GROUP").Line("411 No such group");
  for (const QByteArray& a : file.articles) {
    const QByteArray id = ArticleLines(a).first().mid(12);
    fake.On("ARTICLE " + id).MultiLine("220 0 " + id, ArticleLines(a));
  }
  ASSERT_TRUE(fake.Start());
  TFixture f({file});
  const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Main"_s, fake.Port())}, f.run);
  EXPECT_EQ(r.summary.complete, 1);
  f.ExpectFile(file);
}

// An article that fails the check on one server is fetched from another;
// a post whose articles hold nothing to decode is a failure, not complete,
// and its articles are kept.
TEST(DownloadFaults, BadArticlesAndEmptyDecodesAreFailures) {
  const TPostedFile good = MakeYencPost(u"good.bin"_s, RandomBytes(2 * kPart, 21), kGroup, kPart);
  QByteArray damaged = good.articles[0];
  damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'x' ? 'y' : 'x';
  const TPostedFile text = MakeYencPost(u"text.bin"_s, QByteArray(), kGroup, kPart);
  QByteArray plain = text.articles[0];
  plain.truncate(plain.indexOf("\r\n\r\n") + 4);
  plain += "Just words, no binary here.\r\n";

  TServer first;
  first.Serve(damaged);
  first.Serve(good.articles[1]);
  first.Serve(plain);
  TServer second({good.articles[0]});
  ASSERT_TRUE(first.Start() && second.Start());
  TFixture f({good, text});
  f.run.configure = [](TDownloadSessionSetup& s) { s.settings.CheckMessages = true; };
  const TSessionRecord r =
      RunDownload(f.nzb, {LocalServer(u"A"_s, first.fake.Port()), LocalServer(u"B"_s, second.fake.Port())}, f.run);
  EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
  f.ExpectFile(good);
  EXPECT_EQ(second.Requests(good.messageIds[0]), 1);
  EXPECT_EQ(r.summary.complete, 1);
  EXPECT_EQ(r.summary.failed, 1);
  EXPECT_EQ(r.Count(DM_DECODE_FAILED), 1);
  EXPECT_TRUE(f.Output().contains(u"Msg_"_s + QString::fromLatin1(text.messageIds[0]) + u".txt"_s));
}

// With "KillDupes" a file seen before is deleted and its key remembered.
TEST(DownloadFaults, DuplicateFilesAreDeleted) {
  const QByteArray data = RandomBytes(kPart, 31);
  const TPostedFile a = MakeYencPost(u"first.bin"_s, data, kGroup, kPart);
  const TPostedFile b = MakeYencPost(u"second.bin"_s, data, kGroup, kPart);
  TServer server({a.articles[0], b.articles[0]});
  ASSERT_TRUE(server.Start());
  TFixture f({a, b});
  f.run.configure = [](TDownloadSessionSetup& s) { s.settings.KillDupes = true; };
  const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
  EXPECT_EQ(r.summary.complete, 2);
  EXPECT_EQ(r.summary.dupeFiles, 1);
  EXPECT_EQ(f.Output(), QStringList({u"first.bin"_s}));
  EXPECT_EQ(LoadDupeKeys(f.run.cuePath).size(), 1);
  EXPECT_EQ(r.Count(DM_DUPE_DELETED), 1);
}

// A dupe with the name of the file it duplicates must not take that file
// with it: whether a second post of the same file comes in the same session
// or the same post is decoded again later (a session ended before the list
// was saved), the one copy on disk stays.
TEST(DownloadFaults, DuplicateOfAnExistingFileKeepsThatFile) {
  const QByteArray data = RandomBytes(kPart, 33);
  const TPostedFile a = MakeYencPost(u"same.bin"_s, data, kGroup, kPart);
  const TPostedFile b = MakeYencPost(u"same.bin"_s, data, kGroup, kPart);
  TServer server({a.articles[0], b.articles[0]});
  ASSERT_TRUE(server.Start());
  const auto killDupes = [](TDownloadSessionSetup& s) { s.settings.KillDupes = true; };
  {
    SCOPED_TRACE("two posts in one session");
    TFixture f({a, b});
    // The repost's subject differs, so the list holds two posts.
    QByteArray nzb = MakeNzb(f.files, kGroup);
    const QByteArray subject = "&quot;same.bin&quot; yEnc";
    nzb.replace(nzb.lastIndexOf(subject), subject.size(), "&quot;same.bin&quot; repost yEnc");
    f.nzb = f.dir.Write(u"test.nzb"_s, nzb);
    f.run.configure = killDupes;
    const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
    EXPECT_EQ(r.reason, DM_STOP_COMPLETED);
    EXPECT_EQ(r.summary.complete, 2);
    EXPECT_EQ(r.summary.dupeFiles, 1);
    EXPECT_EQ(f.Output(), QStringList({u"same.bin"_s}));
    f.ExpectFile(a);
  }
  {
    SCOPED_TRACE("the same post in a later session");
    TFixture f({a});
    f.run.configure = killDupes;
    const TSessionRecord first = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
    EXPECT_EQ(first.summary.complete, 1);
    const TSessionRecord again = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
    EXPECT_EQ(again.reason, DM_STOP_COMPLETED);
    EXPECT_EQ(again.summary.complete, 1);
    EXPECT_EQ(f.Output(), QStringList({u"same.bin"_s}));
    f.ExpectFile(a);
    EXPECT_TRUE(LoadDupeKeys(f.run.cuePath).contains(FileDupeKey(f.run.outDir + a.name).key));
  }
}

// A session stopped without an event loop (the program closing) before its
// last events were seen still records the keys of the files it decoded.
TEST(DownloadFaults, StopWithoutEventLoopKeepsLearnedKeys) {
  const TPostedFile file = MakeYencPost(u"kept.bin"_s, RandomBytes(kPart, 35), kGroup, kPart);
  TServer server({file.articles[0]});
  ASSERT_TRUE(server.Start());
  TFixture f({file});
  ASSERT_TRUE(ImportNZBFile(f.nzb, f.run.cuePath));
  TDownloadList list;
  ASSERT_TRUE(list.Load(f.run.cuePath));
  list.BuildPosts();
  TDownloadSession session(list);
  TDownloadSessionSetup setup;
  setup.cuePath = f.run.cuePath;
  setup.settings = TDownloadListSettings::Read(f.run.cuePath);
  setup.settings.KillDupes = true;
  setup.decodeDir = f.run.outDir;
  setup.servers = {LocalServer(u"Main"_s, server.fake.Port())};
  setup.clientTimeout = 5;
  QString error;
  ASSERT_TRUE(session.Start(setup, &error)) << error.toStdString();
  // No events are delivered while waiting: the session's reports stay queued.
  for (int i = 0; i < 3000 && session.Manager()->IsRunning(); ++i) QThread::msleep(10);
  ASSERT_FALSE(session.Manager()->IsRunning());
  ASSERT_TRUE(session.Stop());
  f.ExpectFile(file);
  EXPECT_TRUE(LoadDupeKeys(f.run.cuePath).contains(FileDupeKey(f.run.outDir + file.name).key));
}

// Aborting ends the session at once; the list is left as last saved and a
// later session finishes the work without duplicates.
TEST(DownloadFaults, AbortLeavesAListThatResumes) {
  QList<TPostedFile> files;
  for (int i = 0; i < 4; ++i)
    files.append(MakeYencPost(u"f"_s + QString::number(i) + u".bin"_s, RandomBytes(2 * kPart, 40 + i), kGroup, kPart));
  TServer server;
  // The third file's articles come slowly, so the abort lands mid-session.
  for (const TPostedFile& file : files)
    for (const QByteArray& a : file.articles) {
      const QByteArray id = ArticleLines(a).first().mid(12);
      if (&file == &files[2])
        server.fake.On("ARTICLE " + id).SendSlowly("220 0 " + id + "\r\n" + a + ".\r\n", 4096, 20);
      else
        server.Serve(a);
    }
  ASSERT_TRUE(server.Start());
  TFixture f(files);
  f.run.during = [](TDownloadSession& session, const TDownloadEvent& e) {
    if (e.subCode == DM_POST_DECODED) session.Abort();
  };
  const TSessionRecord first = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
  EXPECT_EQ(first.reason, DM_STOP_ABORTED);

  // The second session works from the list as saved (not imported again).
  TDownloadList list;
  ASSERT_TRUE(list.Load(f.run.cuePath));
  list.BuildPosts();
  TDownloadSession session(list);
  TDownloadSessionSetup setup;
  setup.cuePath = f.run.cuePath;
  setup.settings = TDownloadListSettings::Read(f.run.cuePath);
  setup.decodeDir = f.run.outDir;
  setup.servers = {LocalServer(u"Main"_s, server.fake.Port())};
  QEventLoop loop;
  QObject::connect(&session, &TDownloadSession::Finished, &loop, &QEventLoop::quit);
  ASSERT_TRUE(session.Start(setup));
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_FALSE(session.IsRunning());
  for (const TPostedFile& file : files) f.ExpectFile(file);
  EXPECT_EQ(f.Output().size(), files.size());
}

// An article stored by an earlier session is used as it is, without asking
// the server again; an empty one (a power cut right after its rename) is
// fetched again.
TEST(DownloadFaults, StoredArticlesAreReusedUnlessEmpty) {
  const TPostedFile file = MakeYencPost(u"stored.bin"_s, RandomBytes(3 * kPart, 51), kGroup, kPart);
  TServer server(file.articles);
  ASSERT_TRUE(server.Start());
  TFixture f({file});
  f.run.configure = [&](TDownloadSessionSetup&) {
    QDir().mkpath(f.run.outDir);
    QFile whole(f.run.outDir + MessageFileName(file.messageIds[0]));
    ASSERT_TRUE(whole.open(QIODevice::WriteOnly));
    whole.write(file.articles[0]);
    whole.close();
    QFile empty(f.run.outDir + MessageFileName(file.messageIds[1]));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  };
  const TSessionRecord r = RunDownload(f.nzb, {LocalServer(u"Main"_s, server.fake.Port())}, f.run);
  EXPECT_EQ(r.summary.complete, 1);
  f.ExpectFile(file);
  EXPECT_EQ(server.Requests(file.messageIds[0]), 0);
  EXPECT_EQ(server.Requests(file.messageIds[1]), 1);
  EXPECT_EQ(server.Requests(file.messageIds[2]), 1);
}

// The command line refuses malformed NZB files without creating a list.
TEST(DownloadCommand, MalformedNzbCreatesNoList) {
  for (const char* name : {"malformed_files.nzb", "malformed_groups.nzb", "malformed_segments.nzb",
                           "invalid_bytes.nzb", "Ubuntu-16.04.1-Server-i386-nofile.nzb"}) {
    SCOPED_TRACE(name);
    TTempDir dir;
    QProcess cli;
    cli.start(QStringLiteral(KORVEL_CLI_PATH),
              {u"download"_s, TestDataPath(u"binaries/nzb/"_s + QLatin1String(name)), u"--dir"_s, dir.Path(),
               u"--host"_s, u"127.0.0.1"_s, u"--port"_s, u"1"_s});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_TRUE(cli.readAllStandardError().contains("importing"));
    EXPECT_TRUE(QDir(dir.Path() + u".korvel"_s).entryList(QDir::Files).isEmpty());
  }
}

// A list is resumed only for the NZB it was made from; another NZB of the
// same name replaces it.
TEST(DownloadCommand, ResumesOnlyTheSameNzb) {
  const TPostedFile a = MakeYencPost(u"a.bin"_s, RandomBytes(kPart, 51), kGroup, kPart);
  const TPostedFile b = MakeYencPost(u"b.bin"_s, RandomBytes(kPart, 52), kGroup, kPart);
  TServer server({a.articles[0], b.articles[0]});
  ASSERT_TRUE(server.Start());
  TTempDir dir;
  const auto run = [&](const TPostedFile& file, QString* output) {
    const QString nzb = dir.Write(u"in/"_s + file.name + u"/same.nzb"_s, MakeNzb({file}, kGroup));
    QProcess cli;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(QStringLiteral(KORVEL_CLI_PATH), {u"download"_s, nzb, u"--dir"_s, dir.File(u"out"_s), u"--host"_s,
                                                u"127.0.0.1"_s, u"--port"_s, QString::number(server.fake.Port())});
    EXPECT_TRUE(cli.waitForFinished(60000));
    *output = QString::fromUtf8(cli.readAll());
    return cli.exitCode();
  };
  QString output;
  EXPECT_EQ(run(a, &output), 0) << output.toStdString();
  EXPECT_EQ(run(a, &output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(u"Resuming"_s)) << output.toStdString();
  EXPECT_TRUE(output.contains(u"Downloading 0 articles"_s)) << output.toStdString();
  EXPECT_EQ(run(b, &output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(u"importing anew"_s)) << output.toStdString();
  EXPECT_EQ(ReadAll(dir.File(u"out/a.bin"_s)), a.data);
  EXPECT_EQ(ReadAll(dir.File(u"out/b.bin"_s)), b.data);
}
