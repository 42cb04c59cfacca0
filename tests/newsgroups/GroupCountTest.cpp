#include "GroupListFixtures.h"

#include "newsgroups/GetMessageCountThread.h"
#include "newsgroups/GroupCountPool.h"
#include "newsgroups/GroupCountWorker.h"
#include "servers/FakeNntpServer.h"

#include <QMap>

using namespace Qt::StringLiterals;

namespace {

// Runs a count worker on the test thread until it finishes.
struct TCountRun {
  std::shared_ptr<TGroupCountPool> pool;
  TGroupCountWorker worker;
  QList<TGroupCountResult> results;
  int resultSignals = 0;
  bool finished = false;
  bool success = false;

  TCountRun(const QList<TNewsServerEntry>& servers, const QList<QByteArray>& groups, int connections)
      : pool(std::make_shared<TGroupCountPool>(servers, groups)), worker(pool, connections) {
    worker.SetTimeout(2);
    worker.SetRetryDelay(10);
    QObject::connect(&worker, &TGroupCountWorker::ResultsReady, [this] {
      ++resultSignals;
      results += pool->TakeResults();
    });
    QObject::connect(&worker, &TGroupCountWorker::Finished, [this](bool ok) {
      results += pool->TakeResults();
      finished = true;
      success = ok;
    });
  }
  bool Run() {
    worker.Start();
    return SpinUntil([this] { return finished; });
  }
  // "server/group" -> estimate
  QMap<QString, qint64> Estimates() const {
    QMap<QString, qint64> out;
    for (const TGroupCountResult& r : results)
      out.insert(r.group.server.Name() + u'/' + QString::fromLatin1(r.group.name), r.group.estimated);
    return out;
  }
};

int CountOf(const QList<QByteArray>& commands, const QByteArray& command) {
  return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

}  // namespace

TEST(GroupCount, EachConnectionAsksOnlyItsOwnServer) {
  TFakeNntpServer a, b;
  a.On("GROUP alt.one").Line("211 3 1 3 alt.one");
  a.On("GROUP alt.two").Line("211 20 11 30 alt.two");
  a.On("GROUP alt.three").Line("411 No such group");
  b.On("GROUP alt.one").Line("211 7 1 7 alt.one");
  b.On("GROUP alt.two").Line("411 No such group");
  b.On("GROUP alt.three").Line("211 0 1 0 alt.three");
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  const QList<QByteArray> groups = {"alt.one", "alt.two", "alt.three"};
  TCountRun run({LocalServer(a.Port(), "A"), LocalServer(b.Port(), "B")}, groups, 2);
  ASSERT_TRUE(run.Run());
  EXPECT_TRUE(run.success);
  const QMap<QString, qint64> expected = {{u"A/alt.one"_s, 3},  {u"A/alt.two"_s, 20}, {u"A/alt.three"_s, -9},
                                          {u"B/alt.one"_s, 7},  {u"B/alt.two"_s, -9}, {u"B/alt.three"_s, 0}};
  EXPECT_EQ(run.Estimates(), expected);
  EXPECT_EQ(run.results.size(), 6);
  for (const QByteArray& g : groups) {
    EXPECT_EQ(CountOf(a.Commands(), "GROUP " + g), 1) << g.constData();
    EXPECT_EQ(CountOf(b.Commands(), "GROUP " + g), 1) << g.constData();
  }
  // Results are the caller's entries, by index.
  for (const TGroupCountResult& r : run.results) EXPECT_EQ(groups.value(r.entry), r.group.name);
  EXPECT_EQ(run.pool->Remaining(), 0);
}

TEST(GroupCount, OnlyReply411MeansNotOnServerOtherFailuresAreRetried) {
  TFakeNntpServer f;
  f.On("GROUP alt.login").Line("480 Authentication required").Times(1);
  f.On("GROUP alt.login").Line("211 5 1 5 alt.login");
  f.On("GROUP alt.busy").Line("400 Server busy").Times(1);
  f.On("GROUP alt.busy").Line("211 6 1 6 alt.busy");
  f.On("GROUP alt.cut").Close().Times(1);
  f.On("GROUP alt.cut").Line("211 8 1 8 alt.cut");
  f.On("GROUP alt.gone").Line("411 No such group");
  ASSERT_TRUE(f.Start());
  TCountRun run({LocalServer(f.Port())}, {"alt.login", "alt.busy", "alt.cut", "alt.gone"}, 1);
  ASSERT_TRUE(run.Run());
  EXPECT_TRUE(run.success);
  const QMap<QString, qint64> expected = {
      {u"Local/alt.login"_s, 5}, {u"Local/alt.busy"_s, 6}, {u"Local/alt.cut"_s, 8}, {u"Local/alt.gone"_s, -9}};
  EXPECT_EQ(run.Estimates(), expected);
  EXPECT_GE(f.Connections(), 4);  // each failure started the connection afresh
}

TEST(GroupCount, MoreConnectionsThanItemsAndNoItemsAtAll) {
  TFakeNntpServer f;
  f.On("GROUP").Line("211 1 1 1 alt.one");
  ASSERT_TRUE(f.Start());
  {
    TCountRun run({LocalServer(f.Port())}, {"alt.one"}, 4);
    ASSERT_TRUE(run.Run());
    EXPECT_TRUE(run.success);
    EXPECT_EQ(run.results.size(), 1);
    EXPECT_EQ(f.Connections(), 1);
    const auto statuses = run.pool->Statuses();
    ASSERT_EQ(statuses.size(), 4);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(statuses[i].status, u"Unused connection"_s);
  }
  {
    TCountRun run({LocalServer(f.Port())}, {}, 2);
    ASSERT_TRUE(run.Run());
    EXPECT_TRUE(run.success);
    EXPECT_TRUE(run.results.isEmpty());
    EXPECT_EQ(f.Connections(), 1);  // none more
  }
}

TEST(GroupCount, AbortEndsWithoutSuccess) {
  TFakeNntpServer f;
  f.On("GROUP");  // silence
  ASSERT_TRUE(f.Start());
  TCountRun run({LocalServer(f.Port())}, {"alt.one", "alt.two"}, 2);
  run.worker.SetTimeout(30);
  run.worker.Start();
  ASSERT_TRUE(SpinUntil([&] { return f.Commands().size() >= 2; }));
  run.worker.Abort();
  ASSERT_TRUE(SpinUntil([&] { return run.finished; }));
  EXPECT_FALSE(run.success);
  EXPECT_TRUE(run.results.isEmpty());
  EXPECT_EQ(run.pool->Remaining(), 2);
}

namespace {
struct TThreadRun {
  int counted = -1;
  QList<std::tuple<bool, TNewsgroupEntry, int, int>> done;
  bool completed = false;

  void Run(TGetMessageCountThread& thread) {
    QObject::connect(&thread, &TGetMessageCountThread::EntriesCounted, [this](int n) { counted = n; });
    QObject::connect(&thread, &TGetMessageCountThread::EntryDone,
                     [this](bool ok, const TNewsgroupEntry& e, int n, int pos) { done.append({ok, e, n, pos}); });
    QObject::connect(&thread, &TGetMessageCountThread::Completed, [this] { completed = true; });
    thread.SetTimeout(2);
    thread.start();
    EXPECT_TRUE(SpinUntil([this] { return completed; }));
    thread.wait();
  }
};

TNewsgroupEntry Entry(const TNewsServerEntry& server, const QByteArray& name) {
  TNewsgroupEntry e;
  e.server = server;
  e.name = name;
  return e;
}
}  // namespace

TEST(GetMessageCountThread, EntriesInOrderAcrossServers) {
  TFakeNntpServer a, b;
  a.On("GROUP alt.one").Line("211 3 1 3 alt.one");
  a.On("GROUP alt.gone").Line("411 No such group");
  b.On("GROUP alt.one").Line("211 9 2 10 alt.one");
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  const TNewsServerEntry sa = LocalServer(a.Port(), "A"), sb = LocalServer(b.Port(), "B");
  TGetMessageCountThread thread({Entry(sa, "alt.one"), Entry(sa, "alt.gone"), Entry(sb, "alt.one")});
  TThreadRun run;
  run.Run(thread);
  EXPECT_EQ(run.counted, 3);
  ASSERT_EQ(run.done.size(), 3);
  const auto& [ok1, e1, n1, p1] = run.done[0];
  EXPECT_TRUE(ok1);
  EXPECT_EQ(e1.estimated, 3);
  EXPECT_EQ(e1.last, 3);
  EXPECT_EQ(p1, 1);
  EXPECT_EQ(n1, 3);
  const auto& [ok2, e2, n2, p2] = run.done[1];
  EXPECT_FALSE(ok2);
  EXPECT_EQ(e2.estimated, -9);
  EXPECT_EQ(p2, 2);
  const auto& [ok3, e3, n3, p3] = run.done[2];
  EXPECT_TRUE(ok3);
  EXPECT_EQ(e3.server.Name(), u"B"_s);
  EXPECT_EQ(e3.first, 2);
  EXPECT_EQ(e3.estimated, 9);
  EXPECT_EQ(p3, 3);
  EXPECT_EQ(CountOf(b.Commands(), "GROUP alt.one"), 1);
  EXPECT_EQ(CountOf(b.Commands(), "GROUP alt.gone"), 0);
}

TEST(GetMessageCountThread, NoEntriesConnectsNowhereAndFailedConnectEndsTheRun) {
  {
    TGetMessageCountThread thread({});
    TThreadRun run;
    run.Run(thread);
    EXPECT_EQ(run.counted, 0);
    EXPECT_TRUE(run.done.isEmpty());
  }
  TFakeNntpServer f;
  f.Banner().Line("502 Go away");
  ASSERT_TRUE(f.Start());
  TGetMessageCountThread thread({Entry(LocalServer(f.Port()), "alt.one"), Entry(LocalServer(f.Port()), "alt.two")});
  TThreadRun run;
  run.Run(thread);
  EXPECT_EQ(run.counted, 2);
  EXPECT_TRUE(run.done.isEmpty());
  EXPECT_EQ(f.Connections(), 1);
}
