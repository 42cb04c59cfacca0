#include "app/ActionTracker.h"
#include "app/LittleEndian.h"
#include "support/TempDir.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray Pack(const QByteArray& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  QByteArray out(static_cast<qsizetype>(size), '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.constData()),
            static_cast<uLong>(raw.size()), 9);
  out.truncate(static_cast<qsizetype>(size));
  return out;
}

QByteArray RawTrail(int count, int pos) {
  QByteArray raw(TActionTracker::kStreamSize, '\x07');
  le::Put16(raw.data(), static_cast<std::uint16_t>(count));
  le::Put16(raw.data() + 2, static_cast<std::uint16_t>(pos));
  return raw;
}
}  // namespace

TEST(ActionTracker, RecordsCodesAndTextsAndSurvivesASaveAndLoad) {
  TTempDir dir;
  TActionTracker trail;
  trail.Record(1);
  trail.RecordText(QByteArray(300, 'x'));  // cut to 255 bytes
  EXPECT_EQ(trail.Count(), 1 + 2 + 255);
  const QByteArray contents = trail.Contents();
  EXPECT_EQ(static_cast<unsigned char>(contents[1]), TActionTracker::kTextMarker);
  EXPECT_EQ(static_cast<unsigned char>(contents[2]), 255);

  const QString path = dir.File(u"triggers_events.trk"_s);
  ASSERT_TRUE(trail.Save(path));
  TActionTracker loaded;
  ASSERT_TRUE(loaded.Load(path));
  EXPECT_EQ(loaded.Count(), trail.Count());
  EXPECT_EQ(loaded.Position(), trail.Position());
  EXPECT_EQ(loaded.Serialize(), trail.Serialize());
}

TEST(ActionTracker, RingWrapsAndCountSaturates) {
  TActionTracker trail;
  for (int i = 0; i < 3005; ++i) trail.Record(static_cast<std::uint8_t>(i % 200));
  EXPECT_EQ(trail.Count(), 3000);
  EXPECT_EQ(trail.Position(), 5);
  const QByteArray contents = trail.Contents();
  ASSERT_EQ(contents.size(), 3000);
  EXPECT_EQ(static_cast<unsigned char>(contents.back()), 3004 % 200);
  EXPECT_EQ(static_cast<unsigned char>(contents.front()), 5 % 200);
}

TEST(ActionTracker, EmptyTrailDeletesTheFile) {
  TTempDir dir;
  const QString path = dir.Write(u"t.trk"_s, "junk"_ba);
  TActionTracker trail;
  EXPECT_TRUE(trail.Save(path));
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(ActionTracker, LoadIgnoresAnythingButAValidRing) {
  TTempDir dir;
  struct Case {
    const char* name;
    QByteArray bytes;
    bool accepted;
  };
  const Case cases[] = {
      {"valid, full ring", Pack(RawTrail(3000, 2999)), true},
      {"one byte short", Pack(RawTrail(10, 3).left(3003)), false},
      {"one byte long", Pack(RawTrail(10, 3) + "x"), false},
      {"not zlib", "garbage garbage garbage"_ba, false},
      {"empty file", QByteArray(), false},
      {"position past the ring", Pack(RawTrail(10, 3000)), false},
      {"count past the ring", Pack(RawTrail(3001, 3)), false},
      {"absurd position", Pack(RawTrail(10, 65535)), false},
  };
  for (const Case& c : cases) {
    const QString path = dir.Write(u"t.trk"_s, c.bytes);
    TActionTracker trail;
    trail.Record(9);
    EXPECT_EQ(trail.Load(path), c.accepted) << c.name;
    if (!c.accepted) {
      EXPECT_EQ(trail.Count(), 0) << c.name;
      EXPECT_EQ(trail.Position(), 0) << c.name;
      // Recording after a rejected load stays inside the ring.
      for (int i = 0; i < 3100; ++i) trail.Record(1);
      EXPECT_EQ(trail.Position(), 100) << c.name;
    }
  }
  EXPECT_FALSE(TActionTracker().Load(dir.File(u"missing.trk"_s)));
}
