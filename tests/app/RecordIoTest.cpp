#include "app/RecordReader.h"
#include "app/RecordWriter.h"

#include <gtest/gtest.h>

TEST(RecordIo, RoundTripIsLittleEndian) {
  TRecordWriter w;
  w.U8(0xAB);
  w.U16(0x1234);
  w.U32(0xDEADBEEF);
  w.U64(0x0102030405060708ULL);
  w.I32(-2);
  w.Double(1.5);
  w.PrefixedText("news.example", 15);
  const QByteArray data = w.Data();
  ASSERT_EQ(data.size(), 1 + 2 + 4 + 8 + 4 + 8 + 16);
  EXPECT_EQ(static_cast<unsigned char>(data[1]), 0x34);  // low byte first
  EXPECT_EQ(static_cast<unsigned char>(data[3]), 0xEF);

  TRecordReader r(data);
  EXPECT_EQ(r.U8(), 0xAB);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0xDEADBEEFu);
  EXPECT_EQ(r.U64(), 0x0102030405060708ULL);
  EXPECT_EQ(r.I32(), -2);
  EXPECT_EQ(r.Double(), 1.5);
  EXPECT_EQ(r.PrefixedText(15), QByteArray("news.example"));
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.Remaining(), 0);
}

TEST(RecordIo, PrefixedTextIsCutAndClamped) {
  TRecordWriter w;
  w.PrefixedText("abcdefghij", 4);  // cut to the slot
  ASSERT_EQ(w.Size(), 5);
  EXPECT_EQ(w.Data(), QByteArray("\x04" "abcd", 5));

  // A stored length above the capacity never reads past the slot.
  const QByteArray hostile("\xFF" "abcd" "XYZ", 8);
  TRecordReader r(hostile);
  EXPECT_EQ(r.PrefixedText(4), QByteArray("abcd"));
  EXPECT_EQ(r.Position(), 5);
}

TEST(RecordIo, ReadingPastTheEndFailsSafely) {
  const QByteArray data("\x01\x02\x03", 3);
  TRecordReader r(data);
  EXPECT_EQ(r.U16(), 0x0201);
  EXPECT_EQ(r.U32(), 0u);
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.U8(), 0);
  EXPECT_TRUE(r.Bytes(10).isEmpty());
  EXPECT_TRUE(r.PrefixedText(20).isEmpty());
}
