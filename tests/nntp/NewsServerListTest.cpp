#include "app/LittleEndian.h"
#include "nntp/NewsServerList.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
TNewsServerEntry Server(const char* name, int maxConnections = 1) {
  TNewsServerEntry e = TNewsServerEntry::Init();
  e.name = name;
  e.host = "news.example.org";
  e.maxConnections = static_cast<std::int16_t>(maxConnections);
  return e;
}
}  // namespace

TEST(NewsServerEntry, RecordLayoutByteForByte) {
  TNewsServerEntry e = TNewsServerEntry::Init();
  e.name = "Main";
  e.host = "127.0.0.1";
  e.port = 563;
  e.userName = "user";
  e.password = QByteArray(300, 'p');  // cut to 246
  e.countConnections = 2;
  e.headerConnections = 4;
  e.maxConnections = -3;
  e.downloadLimit = true;
  e.SetSecurity(SECURITY_STARTTLS);
  e.lastCheckDate = 46000.5;
  const QByteArray r = e.ToRecord();
  ASSERT_EQ(r.size(), 1040);
  EXPECT_EQ(r[0], 4);
  EXPECT_EQ(r.mid(1, 4), "Main"_ba);
  EXPECT_EQ(r.mid(5, 251), QByteArray(251, '\0'));  // rest of the slot zero
  EXPECT_EQ(r[256], 9);
  EXPECT_EQ(le::Get32(r.constData() + 512), 563u);
  EXPECT_EQ(r[516], 4);
  EXPECT_EQ(static_cast<unsigned char>(r[772]), 246);
  EXPECT_EQ(r[1019], 0);
  EXPECT_EQ(le::Get16(r.constData() + 1020), 2);
  EXPECT_EQ(le::Get16(r.constData() + 1022), 4);
  EXPECT_EQ(static_cast<std::int16_t>(le::Get16(r.constData() + 1024)), -3);
  EXPECT_EQ(r[1026], 1);
  EXPECT_EQ(r[1027], 2);
  EXPECT_EQ(le::GetDouble(r.constData() + 1032), 46000.5);

  const TNewsServerEntry back = TNewsServerEntry::FromRecord(r);
  EXPECT_EQ(back.ToRecord(), r);
  EXPECT_EQ(back.Security(), SECURITY_STARTTLS);
  EXPECT_EQ(back.password.size(), 246);
}

TEST(NewsServerEntry, InitAndClampingOnLoad) {
  const QByteArray init = TNewsServerEntry::Init().ToRecord();
  EXPECT_EQ(le::Get32(init.constData() + 512), 119u);
  EXPECT_EQ(le::Get16(init.constData() + 1020), 1);
  EXPECT_EQ(le::Get16(init.constData() + 1024), 1);
  EXPECT_EQ(init.mid(1026, 14), QByteArray(14, '\0'));
  EXPECT_EQ(TNewsServerEntry::Init().Security(), SECURITY_PLAIN);

  struct Case {
    std::uint16_t stored;
    std::uint16_t loaded;
  };
  for (const Case c : {Case{0, 1}, Case{250, 1}, Case{101, 1}, Case{100, 100}, Case{7, 7}}) {
    QByteArray r = init;
    le::Put16(r.data() + 1020, c.stored);
    le::Put16(r.data() + 1022, c.stored);
    le::Put16(r.data() + 1024, 0);  // the maximum is not clamped
    const TNewsServerEntry e = TNewsServerEntry::FromRecord(r);
    EXPECT_EQ(e.countConnections, c.loaded);
    EXPECT_EQ(e.headerConnections, c.loaded);
    EXPECT_EQ(e.maxConnections, 0);
  }
  // A stored length longer than the slot allows reads no further than the slot.
  QByteArray hostile = init;
  hostile[772] = static_cast<char>(0xFF);
  EXPECT_EQ(TNewsServerEntry::FromRecord(hostile).password.size(), 246);
}

class NewsServerListTest : public ::testing::Test {
 protected:
  QString Servers() const { return dir.Path() + u"_Usenet/_Servers/"_s; }
  TTempDir dir;
  TNewsServerList list;
};

TEST_F(NewsServerListTest, WholeRecordsOnlyAndDirectoriesCreated) {
  const QByteArray two = TNewsServerList::Serialize({Server("A"), Server("B")});
  for (int extra : {0, 20}) {
    dir.Write(u"_Servers_NNTP.dat"_s, two + QByteArray(extra, 'x'));
    ASSERT_TRUE(list.Load(dir.Path(), Servers()));
    EXPECT_EQ(list.Count(), 2) << 2080 + extra;
  }
  EXPECT_TRUE(QFileInfo(Servers() + u"A/_Favorites"_s).isDir());
  EXPECT_TRUE(QFileInfo(Servers() + u"B/_Favorites"_s).isDir());
  TNewsServerEntry found;
  EXPECT_TRUE(list.Get(u"b"_s, found));
  EXPECT_EQ(found.name, "B"_ba);
  EXPECT_TRUE(list.Get(QString(), found));  // empty name: the first
  EXPECT_EQ(found.name, "A"_ba);
  EXPECT_FALSE(list.Get(u"C"_s, found));
}

TEST_F(NewsServerListTest, MissingFileIsAnEmptyList) {
  ASSERT_TRUE(list.Load(dir.Path(), Servers()));
  EXPECT_EQ(list.Count(), 0);
  TNewsServerEntry e;
  EXPECT_FALSE(list.Get(QString(), e));
}

TEST_F(NewsServerListTest, NamesThatCannotBeDirectoriesAreSkipped) {
  dir.Write(u"_Servers_NNTP.dat"_s,
            TNewsServerList::Serialize({Server(".."), Server("a/b"), Server("."), Server("ok"), Server("")}));
  QDir().mkpath(dir.Path() + u"_Usenet/keep"_s);
  ASSERT_TRUE(list.Load(dir.Path(), Servers()));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Entries()[0].name, "ok"_ba);
  EXPECT_TRUE(QFileInfo(dir.Path() + u"_Usenet/keep"_s).isDir());
  EXPECT_FALSE(QFileInfo::exists(Servers() + u"a"_s));

  struct Case {
    QString name;
    bool valid;
  };
  const Case cases[] = {{u"News"_s, true},           {QString(128, u'n'), true},
                        {QString(129, u'n'), false}, {u"a\\b"_s, false},
                        {u"tab\there"_s, false},     {u" "_s, false},
                        {u"news.example"_s, true},   {u"..."_s, true}};
  for (const Case& c : cases) EXPECT_EQ(TNewsServerList::IsValidServerName(c.name), c.valid) << c.name.toStdString();
}

TEST_F(NewsServerListTest, SaveAllKeepsOrderAndOwnerOnlyPermissions) {
  ASSERT_TRUE(list.SaveAll(dir.Path(), {Server("A"), Server("B"), Server("C")}));
  const QString path = dir.File(u"_Servers_NNTP.dat"_s);
  EXPECT_FALSE(QFile::permissions(path) & (QFile::ReadOther | QFile::ReadGroup));
  QList<TNewsServerEntry> entries = list.Entries();
  entries.swapItemsAt(0, 1);  // move A down
  entries.removeAt(2);        // delete C
  ASSERT_TRUE(list.SaveAll(dir.Path(), entries));
  const QList<TNewsServerEntry> back = TNewsServerList::Parse(dir.Read(u"_Servers_NNTP.dat"_s));
  ASSERT_EQ(back.size(), 2);
  EXPECT_EQ(back[0].name, "B"_ba);
  EXPECT_EQ(back[1].name, "A"_ba);
  EXPECT_FALSE(QFileInfo::exists(path + u'1'));
  EXPECT_FALSE(QFileInfo::exists(path + u'2'));
}

TEST_F(NewsServerListTest, CheckDateChangesOnlyTheDateInPlace) {
  QByteArray data = TNewsServerList::Serialize({Server("A"), Server("B")});
  data[1040 + 100] = 'g';  // bytes beyond the name's length stay untouched
  dir.Write(u"_Servers_NNTP.dat"_s, data);
  ASSERT_TRUE(list.Load(dir.Path(), Servers()));
  list.SetServerCheckDate(dir.Path(), u"b"_s, 46001.25);
  QByteArray expected = data;
  le::PutDouble(expected.data() + 1040 + 1032, 46001.25);
  EXPECT_EQ(dir.Read(u"_Servers_NNTP.dat"_s), expected);
  EXPECT_EQ(list.Entries()[1].lastCheckDate, 46001.25);
  list.SetServerCheckDate(dir.Path(), u"missing"_s, 1.0);  // ignored
  EXPECT_EQ(dir.Read(u"_Servers_NNTP.dat"_s), expected);
}

TEST_F(NewsServerListTest, AppendCreatesOwnerOnlyFileAndAddsWholeRecords) {
  EXPECT_EQ(AppendNewsServerRecord(dir.Path(), u"_Servers_NNTP.dat"_s, Server("A")), RC_SUCCESS);
  const QString path = dir.File(u"_Servers_NNTP.dat"_s);
  EXPECT_FALSE(QFile::permissions(path) & (QFile::ReadOther | QFile::ReadGroup));
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("torn");  // a partial record left by a crash
  }
  EXPECT_EQ(AppendNewsServerRecord(dir.Path(), u"_Servers_NNTP.dat"_s, Server("B")), RC_SUCCESS);
  EXPECT_EQ(QFileInfo(path).size(), 2080);
  QDir().mkpath(dir.File(u"blocked.dat"_s));
  EXPECT_EQ(AppendNewsServerRecord(dir.Path(), u"blocked.dat"_s, Server("A")), RC_OPEN_FAILED);
}

TEST_F(NewsServerListTest, TrustedFingerprintLivesInTheServerDirectory) {
  const QByteArray fp = QByteArray(64, 'a');
  ASSERT_TRUE(TNewsServerList::WriteTrustedFingerprint(Servers() + u"A/"_s, fp.toUpper()));
  dir.Write(u"_Servers_NNTP.dat"_s, TNewsServerList::Serialize({Server("A")}));
  ASSERT_TRUE(list.Load(dir.Path(), Servers()));
  EXPECT_EQ(list.Entries()[0].acceptedFingerprint, fp);
  dir.Write(u"_Usenet/_Servers/A/_TrustedCertificate.txt"_s, "not hex at all"_ba);
  EXPECT_TRUE(TNewsServerList::ReadTrustedFingerprint(Servers() + u"A/"_s).isEmpty());
}
