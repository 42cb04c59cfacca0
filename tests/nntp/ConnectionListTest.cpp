#include "nntp/ConnectionList.h"
#include "nntp/ConnectionListModel.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
TNewsServerEntry Server(const char* name, int maxConnections) {
  TNewsServerEntry e = TNewsServerEntry::Init();
  e.name = name;
  e.maxConnections = static_cast<std::int16_t>(maxConnections);
  return e;
}

QString Describe(const QList<TConnectionServer>& servers) {
  QString out;
  for (const TConnectionServer& s : servers) out += s.server.Name() + u'=' + QString::number(s.connections) + u' ';
  return out.trimmed();
}
}  // namespace

TEST(ConnectionListModel, FileSelectsAtMostTheMaximumPerServer) {
  TConnectionListModel model;
  model.Load({Server("A", 2), Server("B", 1)}, {u"a"_s, u"A"_s, u"A"_s, u"B"_s, u"unknown"_s});
  EXPECT_EQ(model.SelectedNames(), QStringList({u"A"_s, u"A"_s, u"B"_s}));
  EXPECT_TRUE(model.Available().isEmpty());
}

TEST(ConnectionListModel, MovesNeverDuplicate) {
  TConnectionListModel model;
  model.Reset({Server("A", 3), Server("B", 2)});
  ASSERT_EQ(model.Available().size(), 5);
  EXPECT_EQ(model.AddAllIdentical(3), 2);  // both B; the next row clamps to the last
  EXPECT_EQ(model.SelectedNames(), QStringList({u"B"_s, u"B"_s}));
  EXPECT_EQ(model.Add({0, 0, 9, -1}), 0);
  EXPECT_EQ(model.SelectedNames(), QStringList({u"B"_s, u"B"_s, u"A"_s}));
  EXPECT_TRUE(model.MoveUp(2));
  EXPECT_FALSE(model.MoveUp(0));
  EXPECT_FALSE(model.MoveDown(2));
  EXPECT_EQ(model.SelectedNames(), QStringList({u"B"_s, u"A"_s, u"B"_s}));
  model.Remove({0, 1});
  EXPECT_EQ(model.SelectedNames(), QStringList({u"B"_s}));
  EXPECT_EQ(model.Available().size() + model.Selected().size(), 5);
}

TEST(ConnectionListFile, ReadSkipsCommentsAndEmptySavesDelete) {
  TTempDir dir;
  const QString path = dir.Write(u"list.srv"_s, ";comment\n//also\n\n  Main  \r\n"_ba);
  EXPECT_EQ(TConnectionList::ReadLines(path), QStringList({u"Main"_s}));
  dir.Write(u"only.srv"_s, ";x\n//y\n\n"_ba);
  EXPECT_TRUE(TConnectionList::ReadLines(dir.File(u"only.srv"_s)).isEmpty());
  ASSERT_TRUE(TConnectionList::Write(path, {u"B"_s, u"A"_s}));
  EXPECT_EQ(dir.Read(u"list.srv"_s), "B\nA\n"_ba);
  ASSERT_TRUE(TConnectionList::Write(path, {}));
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_EQ(TConnectionList::ListPathFor(u"/x/My List.cue"_s), u"/x/My List.srv"_s);
}

TEST(ConnectionListLoad, CountsPerServerInSortedOrder) {
  TTempDir dir;
  const QList<TNewsServerEntry> servers = {Server("A", 2), Server("B", 2)};
  dir.Write(u"dl.srv"_s, "B\nA\nb\n\nghost\n"_ba);
  QList<TConnectionServer> out;
  QString error;
  ASSERT_TRUE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), servers, true, out, error));
  EXPECT_EQ(Describe(out), u"A=1 B=2"_s);
  EXPECT_TRUE(out[0].unlimited);
}

TEST(ConnectionListLoad, FallbacksAndFailures) {
  TTempDir dir;
  QList<TConnectionServer> out;
  QString error;
  const QList<TNewsServerEntry> servers = {Server("First", 1), Server("Second", 4)};

  // No lists at all: the default list is created naming the first server.
  ASSERT_TRUE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), servers, false, out, error));
  EXPECT_EQ(Describe(out), u"First=1"_s);
  EXPECT_EQ(dir.Read(u"_DefaultDecodeConnectionList.txt"_s), "First\n"_ba);

  // A ".srv" naming only servers that no longer exist is deleted.
  const QString srv = dir.Write(u"dl.srv"_s, "Gone\n"_ba);
  ASSERT_TRUE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), servers, false, out, error));
  EXPECT_EQ(Describe(out), u"First=1"_s);
  EXPECT_FALSE(QFileInfo::exists(srv));

  // The default list of a download list without its own.
  TConnectionList::WriteDefault(dir.Path(), 3, u"Second"_s);
  ASSERT_TRUE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), servers, false, out, error));
  EXPECT_EQ(Describe(out), u"Second=3"_s);

  // No servers defined: an error, and the existing list is kept.
  EXPECT_FALSE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), {}, false, out, error));
  EXPECT_EQ(error, u"There are no NNTP servers defined."_s);
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"_DefaultDecodeConnectionList.txt"_s)));
  QFile::remove(dir.File(u"_DefaultDecodeConnectionList.txt"_s));
  EXPECT_FALSE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), {}, false, out, error));
  EXPECT_TRUE(out.isEmpty());
}

TEST(ConnectionListLoad, UnreadableListFailsQuietlyAndIsKept) {
  const QList<TNewsServerEntry> servers = {Server("First", 1)};
  // A list the download cannot read must not be taken for an empty one and
  // replaced: it fails without a message of its own and stays on disk.
  for (const bool asDirectory : {true, false}) {
    SCOPED_TRACE(asDirectory ? "directory" : "no read permission");
    TTempDir dir;
    const QString srv = dir.File(u"dl.srv"_s);
    if (asDirectory) {
      ASSERT_TRUE(QDir().mkpath(srv));
    } else {
      dir.Write(u"dl.srv"_s, "First\n"_ba);
      ASSERT_TRUE(QFile::setPermissions(srv, QFileDevice::WriteOwner));
      QFile probe(srv);
      if (probe.open(QIODevice::ReadOnly)) continue;  // root reads anything
    }
    QList<TConnectionServer> out;
    QString error = u"stale"_s;
    EXPECT_FALSE(TConnectionList::Load(dir.File(u"dl.cue"_s), dir.Path(), servers, false, out, error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(srv));
    EXPECT_FALSE(QFileInfo::exists(dir.File(u"_DefaultDecodeConnectionList.txt"_s)));
  }
}
