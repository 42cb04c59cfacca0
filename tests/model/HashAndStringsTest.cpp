#include "model/Hash.h"
#include "model/InternedStrings.h"
#include "model/ShortDate.h"
#include "model/String.h"
#include "model/UniqueStringList.h"

#include "app/Logger.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::uint16_t Crc16Bitwise(const std::string& s) {
  std::uint16_t crc = 0;
  for (unsigned char c : s) {
    crc ^= static_cast<std::uint16_t>(c << 8);
    for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

QByteArrayView View(const char* s) { return QByteArrayView(s, static_cast<qsizetype>(std::strlen(s))); }

}  // namespace

TEST(Hashes, KnownValuesAndSlicedCrcAgreesWithBitwise) {
  EXPECT_EQ(Crc16("123456789", 9), 0x31C3);  // CRC-16/XMODEM check value
  EXPECT_EQ(HashLittle("", 0, 0), 0xdeadbeefu);
  EXPECT_EQ(HashLittle("", 0, 0xdeadbeef), 0xbd5b7ddeu);
  EXPECT_EQ(HashLittle("Four score and seven years ago", 30, 0), 0x17770551u);
  EXPECT_EQ(HashLittle("Four score and seven years ago", 30, 1), 0xcd628161u);

  std::mt19937 random(7);
  for (int length = 0; length < 40; ++length) {
    std::string s;
    for (int i = 0; i < length; ++i) s += static_cast<char>(random());
    EXPECT_EQ(Crc16(s.data(), s.size()), Crc16Bitwise(s)) << "length " << length;
  }
}

TEST(ShortDate, ClampsOutsideTheRangeAndKeepsResolutionInside) {
  const double firstDay = 20000;  // 3 October 1954
  bool clamped = true;
  EXPECT_EQ(EncodeShortDate(firstDay, &clamped), 0u);
  EXPECT_FALSE(clamped);
  EXPECT_EQ(EncodeShortDate(firstDay - 0.001, &clamped), 0u);
  EXPECT_TRUE(clamped);
  EXPECT_EQ(EncodeShortDate(std::nan(""), &clamped), 0u);
  EXPECT_TRUE(clamped);
  EXPECT_EQ(DaysToDateTime(DecodeShortDate(0)).date(), QDate(1954, 10, 3));

  // The last representable moment is on 19 June 2044; anything later clamps to it.
  const double last = DecodeShortDate(kShortDateMax);
  EXPECT_EQ(DaysToDateTime(last).date(), QDate(2044, 6, 19));
  EXPECT_EQ(EncodeShortDate(last, &clamped), kShortDateMax);
  EXPECT_FALSE(clamped);
  EXPECT_EQ(EncodeShortDate(last + 1, &clamped), kShortDateMax);
  EXPECT_TRUE(clamped);
  EXPECT_EQ(EncodeShortDate(1e300, &clamped), kShortDateMax);
  EXPECT_TRUE(clamped);

  // Within the range a date survives to better than a second.
  const QDateTime when(QDate(2023, 3, 14), QTime(15, 9, 26));
  const QDateTime back = DaysToDateTime(DecodeShortDate(EncodeShortDate(DateTimeToDays(when))));
  EXPECT_LE(std::abs(back.msecsTo(when)), 1000);
}

TEST(TString, AssignGrowsNeverShrinksAndRefusesOversizedText) {
  TString s;
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_STREQ(s.Data(), "");
  ASSERT_TRUE(s.Assign("hello world"));
  EXPECT_EQ(s.View(), "hello world");
  EXPECT_EQ(s.Capacity(), 12);
  ASSERT_TRUE(s.Assign("hi"));
  EXPECT_EQ(s.Capacity(), 12);
  EXPECT_STREQ(s.Data(), "hi");
  ASSERT_TRUE(s.Assign(QByteArrayView()));
  EXPECT_TRUE(s.IsEmpty());

  const int errors = TLogger::Instance().ErrorCount();
  const QByteArray huge(70000, 'x');
  ASSERT_TRUE(s.Assign("kept"));
  EXPECT_FALSE(s.Assign(huge));
  EXPECT_EQ(s.View(), "kept");
  EXPECT_EQ(TLogger::Instance().ErrorCount(), errors + 1);
  EXPECT_TRUE(s.Assign(huge.left(TString::kMaxLength)));
  EXPECT_EQ(s.Length(), TString::kMaxLength);

  // Assigning a part of itself, and leaving a borrowed text untouched.
  ASSERT_TRUE(s.Assign("abcdef"));
  s.Assign(s.View().sliced(2));
  EXPECT_EQ(s.View(), "cdef");
  const char shared[] = "shared text";
  TString b;
  b.Borrow(shared, 6);
  EXPECT_EQ(b.View(), "shared");
  EXPECT_EQ(b.Capacity(), 0);
  ASSERT_TRUE(b.Assign("other"));
  EXPECT_STREQ(shared, "shared text");
}

TEST(UniqueStringList, FindsIgnoringCaseAndKeepsTheFirstSpelling) {
  TUniqueStringList list;
  bool added = false;
  const auto id = list.Find("Holiday Pictures", true, &added);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(added);
  EXPECT_EQ(list.Find("HOLIDAY pictures", true, &added), id);
  EXPECT_FALSE(added);
  EXPECT_EQ(list.Text(id), "Holiday Pictures");
  EXPECT_EQ(list.Find("holiday pictures!", false), 0u);
  EXPECT_EQ(list.Count(), 1u);

  // Empty and oversized keys are neither found nor added.
  EXPECT_EQ(list.Find(QByteArrayView(), true), 0u);
  EXPECT_EQ(list.Find(QByteArray(70000, 'a'), true), 0u);
  EXPECT_EQ(list.Count(), 1u);

  TUniqueStringList exact(true);
  EXPECT_NE(exact.Find("<aBc@x>", true), exact.Find("<abc@x>", true));
}

TEST(UniqueStringList, DifferentKeysWithEqualHashesStayApart) {
  // Same length, same CRC-16 bucket and same lookup3 hash (found by search).
  const char* a = "subject 26803303";
  const char* b = "subject 27603388";
  ASSERT_EQ(Crc16(a, 16), Crc16(b, 16));
  ASSERT_EQ(HashLittle(a, 16), HashLittle(b, 16));
  TUniqueStringList list;
  const auto first = list.Find(View(a), true);
  const auto second = list.Find(View(b), true);
  EXPECT_NE(first, second);
  EXPECT_EQ(list.Text(second), b);
  EXPECT_EQ(list.Find(View(a), false), first);
}

TEST(UniqueStringList, InsertionOrderSurvivesManyBlocks) {
  TUniqueStringList list;
  std::vector<TUniqueStringList::TId> ids;
  // About 6 MB of entries: several blocks, with entries that do not fit a block's tail.
  for (int i = 0; i < 20000; ++i) {
    const QByteArray key = QByteArray::number(i) + QByteArray(static_cast<qsizetype>(i % 500), 'k');
    ids.push_back(list.Find(key, true));
    ASSERT_NE(ids.back(), 0u);
  }
  std::size_t n = 0;
  for (auto id = list.First(); id; id = list.Next(id), ++n) ASSERT_EQ(id, ids[n]);
  EXPECT_EQ(n, ids.size());
  EXPECT_EQ(list.Find(QByteArray::number(12345) + QByteArray(345, 'K'), false), ids[12345]);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.First(), 0u);
  EXPECT_EQ(list.Find("0", false), 0u);
}

TEST(InternedStrings, ConcurrentLoadsAgreeOnIds) {
  // Two loads in two tabs intern overlapping senders at the same time.
  TInternedStrings& senders = TInternedStrings::Senders();
  const auto work = [&](int offset, std::vector<TInternedStrings::TId>& out) {
    for (int i = 0; i < 40000; ++i) out.push_back(senders.Intern("concurrent" + QByteArray::number(offset + i)));
  };
  std::vector<TInternedStrings::TId> a;
  std::vector<TInternedStrings::TId> b;
  std::thread t1(work, 0, std::ref(a));
  std::thread t2(work, 20000, std::ref(b));
  t1.join();
  t2.join();
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(a[20000 + i], b[i]) << i;
  for (int i = 0; i < 40000; ++i) ASSERT_EQ(senders.Text(a[i]), ("concurrent" + QByteArray::number(i)).toStdString());
}
