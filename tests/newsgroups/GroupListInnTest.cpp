// Group lists against the private INN server (the "inn" test fixture).
#include "GroupListFixtures.h"

#include "newsgroups/GroupCountPool.h"
#include "newsgroups/GroupCountWorker.h"
#include "newsgroups/GroupListDownload.h"
#include "newsgroups/NewGroupsMerge.h"
#include "support/InnServer.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace {

TNewsServerEntry Inn() {
  TNewsServerEntry server = TNewsServerEntry::Init();
  server.name = "inn";
  server.host = TInnServer::Host().toUtf8();
  server.port = TInnServer::Port();
  return server;
}

TGroupListDownload::TResult Download(TGroupListDownload& download) {
  TGroupListDownload::TResult result = TGroupListDownload::RESULT_NONE;
  QObject::connect(&download, &TGroupListDownload::Finished,
                   [&](int r, qint64, int) { result = TGroupListDownload::TResult(r); });
  download.Start();
  EXPECT_TRUE(SpinUntil([&] { return result != TGroupListDownload::RESULT_NONE; }, 60000));
  return result;
}

QMap<QByteArray, std::int32_t> Totals(const QString& path) {
  QMap<QByteArray, std::int32_t> out;
  for (const TGroupRow& r : ReadGroupList(path)) out.insert(r.name, r.total);
  return out;
}

}  // namespace

TEST(GroupListInn, FullListNewGroupsAndCounts) {
  QString why;
  ASSERT_TRUE(TInnServer::Available(&why)) << why.toStdString();
  const QByteArray base = TInnServer::UniqueGroup("lists");
  QList<QByteArray> groups;
  for (int i = 0; i < 300; ++i) groups.append(base + ".g" + QByteArray::number(i));
  // In batches: each call of the server script has its own time limit.
  for (qsizetype at = 0; at < groups.size(); at += 100)
    ASSERT_TRUE(TInnServer::CreateGroups(groups.mid(at, 100), &why)) << why.toStdString();
  const QMap<int, int> posted = {{0, 3}, {1, 1}, {299, 2}};
  for (auto it = posted.begin(); it != posted.end(); ++it)
    for (int k = 0; k < it.value(); ++k)
      ASSERT_TRUE(TInnServer::Post(
          TInnServer::MakeArticle(groups[it.key()], "subject", "body\r\n", TInnServer::UniqueMessageId()), &why))
          << why.toStdString();

  TTempDir dir;
  {
    TGroupListDownload full(TGroupListDownload::MODE_FULL_LIST, Inn(), dir.Path());
    ASSERT_EQ(Download(full), TGroupListDownload::RESULT_SUCCESS);
  }
  const QMap<QByteArray, std::int32_t> totals = Totals(dir.File(u"Groups.gnam"_s));
  for (int i = 0; i < groups.size(); ++i) {
    ASSERT_TRUE(totals.contains(groups[i])) << groups[i].constData();
    EXPECT_EQ(totals.value(groups[i]), posted.value(i, 0)) << groups[i].constData();
  }

  // Groups created after the check date, and only those, are new.
  QThread::msleep(1100);
  const QDateTime since = QDateTime::currentDateTime();
  QThread::msleep(1100);
  QList<QByteArray> fresh;
  for (int i = 0; i < 10; ++i) fresh.append(base + ".new" + QByteArray::number(i));
  ASSERT_TRUE(TInnServer::CreateGroups(fresh, &why)) << why.toStdString();
  qint64 received = 0;
  {
    TGroupListDownload check(TGroupListDownload::MODE_NEW_GROUPS, Inn(), dir.Path());
    check.SetSince(since);
    ASSERT_EQ(Download(check), TGroupListDownload::RESULT_SUCCESS);
    received = check.Count();
  }
  const QMap<QByteArray, std::int32_t> found = Totals(dir.File(u"newgroups.gnam"_s));
  for (const QByteArray& g : fresh) EXPECT_TRUE(found.contains(g)) << g.constData();
  for (const QByteArray& g : groups) EXPECT_FALSE(found.contains(g)) << g.constData();
  ASSERT_EQ(TNewGroupsMerge::Merge(dir.Path(), received), TNewGroupsMerge::MERGE_ADDED);
  const QMap<QByteArray, std::int32_t> merged = Totals(dir.File(u"Groups.gnam"_s));
  for (const QByteArray& g : fresh) EXPECT_TRUE(merged.contains(g)) << g.constData();
  for (const QByteArray& g : groups) EXPECT_TRUE(merged.contains(g)) << g.constData();

  // Counts over several connections match what was posted.
  const QList<QByteArray> asked = {groups[0], groups[1], groups[2], groups[299], fresh[0], base + ".missing"};
  auto pool = std::make_shared<TGroupCountPool>(QList<TNewsServerEntry>{Inn()}, asked);
  TGroupCountWorker worker(pool, 3);
  bool finished = false, success = false;
  QObject::connect(&worker, &TGroupCountWorker::Finished, [&](bool ok) {
    finished = true;
    success = ok;
  });
  worker.Start();
  ASSERT_TRUE(SpinUntil([&] { return finished; }, 60000));
  EXPECT_TRUE(success);
  QMap<QByteArray, qint64> estimates;
  for (const TGroupCountResult& r : pool->TakeResults()) estimates.insert(r.group.name, r.group.estimated);
  const QMap<QByteArray, qint64> expected = {{groups[0], 3},   {groups[1], 1}, {groups[2], 0},
                                             {groups[299], 2}, {fresh[0], 0},  {base + ".missing", -9}};
  EXPECT_EQ(estimates, expected);
}
