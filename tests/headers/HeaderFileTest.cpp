#include "HeaderFilesFixture.h"
#include "headers/HeaderFileReader.h"
#include "headers/HeaderFileWriter.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

// Little-endian bytes of an integer, written out independently of the code under test.
QByteArray Le(std::uint64_t value, int size) {
  QByteArray out;
  for (int i = 0; i < size; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

QByteArray LeDouble(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  return Le(bits, 8);
}

struct TFiles {
  TTempDir dir;
  QString Text() const { return dir.File(u"job.hdrs"_s); }
  QString Index() const { return dir.File(u"job.idx"_s); }
  QString Seek() const { return dir.File(u"job.seek"_s); }
};

std::vector<TOwnedHeader> ReadBack(const TFiles& files, const THeaderFileReader::TBufferSizes& sizes,
                                   THeaderFileReader::TStatus* last = nullptr, bool* truncated = nullptr) {
  THeaderFileReader reader(sizes);
  std::vector<TOwnedHeader> out;
  if (reader.Open(files.Text(), files.Index()) != THeaderFileReader::OPEN_OK || reader.Start() != RC_SUCCESS) {
    if (last) *last = THeaderFileReader::READ_FAILED;
    return out;
  }
  TNewsHeader h;
  THeaderFileReader::TStatus status;
  while ((status = reader.Next(h)) == THeaderFileReader::READ_RECORD) {
    TOwnedHeader& o = out.emplace_back();
    o.fields = h;
    o.subject = h.subject.toByteArray().toStdString();
    o.sender = h.sender.toByteArray().toStdString();
    o.messageId = h.messageId.toByteArray().toStdString();
    o.references = h.references.toByteArray().toStdString();
  }
  if (last) *last = status;
  if (truncated) *truncated = reader.Truncated();
  return out;
}

void ExpectSame(const std::vector<TOwnedHeader>& got, const std::vector<TOwnedHeader>& want, std::size_t count) {
  ASSERT_EQ(got.size(), count);
  for (std::size_t i = 0; i < count; ++i) {
    const TNewsHeader& a = got[i].fields;
    const TNewsHeader& b = want[i].fields;
    ASSERT_EQ(got[i].subject, want[i].subject) << i;
    ASSERT_EQ(got[i].sender, want[i].sender) << i;
    ASSERT_EQ(got[i].messageId, want[i].messageId) << i;
    ASSERT_EQ(got[i].references, want[i].references) << i;
    ASSERT_EQ(a.number, b.number);
    ASSERT_EQ(a.lines, b.lines);
    ASSERT_EQ(a.bytes, b.bytes);
    ASSERT_EQ(a.date, b.date);
    ASSERT_EQ(a.newsgroup, b.newsgroup);
    ASSERT_EQ(a.partNumber, b.partNumber);
    ASSERT_EQ(a.totalParts, b.totalParts);
    ASSERT_EQ(a.partPosition, b.partPosition);
    ASSERT_EQ(a.reply, b.reply);
  }
}

}  // namespace

TEST(HeaderFileWriter, WritesIndexAndTextRecordsByteForByte) {
  TOwnedHeader binary;
  binary.fields.number = 0x01020304;
  binary.fields.lines = 3000;
  binary.fields.bytes = 400000;
  binary.fields.date = 45123.5;
  binary.fields.newsgroup = 2;
  binary.fields.partNumber = 3;
  binary.fields.totalParts = 12;
  binary.fields.partPosition = 13;
  binary.fields.reply = true;
  binary.subject = "Hello world ";
  binary.sender = "A <a@b>";
  binary.messageId = "id1@x";
  binary.references = "";
  TOwnedHeader text;
  text.fields.number = 7;
  text.subject = "s";
  text.sender = "";
  text.messageId = "i@y";
  text.references = "<r1@x> <r2@x>";

  TFiles files;
  THeaderFileWriter writer;
  ASSERT_TRUE(writer.Open(files.Text(), files.Index(), files.Seek()));
  ASSERT_TRUE(writer.Write(binary.Header()));
  ASSERT_TRUE(writer.Write(text.Header()));
  ASSERT_TRUE(writer.Close());

  QByteArray index;
  index += Le(0x01020304, 4) + Le(12, 2) + Le(7, 2) + Le(5, 2) + Le(0, 2) + Le(12 + 7 + 5 + 0 + 4, 2);
  index += Le(3000, 4) + Le(400000, 4) + LeDouble(45123.5) + Le(2, 2) + Le(3, 2) + Le(12, 2) + Le(13, 2);
  index += QByteArray("\x01\x00", 2);
  index += Le(7, 4) + Le(1, 2) + Le(0, 2) + Le(3, 2) + Le(13, 2) + Le(1 + 0 + 3 + 13 + 4, 2);
  index += Le(0, 4) + Le(0, 4) + LeDouble(0) + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) + QByteArray(2, '\0');
  ASSERT_EQ(index.size(), 80);
  EXPECT_EQ(ReadAll(files.Index()), index);
  EXPECT_EQ(ReadAll(files.Text()), QByteArray("Hello world \0A <a@b>\0id1@x\0\0s\0\0i@y\0<r1@x> <r2@x>\0", 49));
  // Fewer than 5000 headers: no seek entry, and no seek file.
  EXPECT_FALSE(QFile::exists(files.Seek()));
}

TEST(HeaderFileWriter, SeekEntriesGiveTheTextOffsetOfEvery5000thRecord) {
  const std::vector<TOwnedHeader> headers = GeneratedHeaders(12345);
  TFiles files;
  WriteJob(files.dir.File(u"job"_s), headers);
  std::uint64_t offset = 0;
  QByteArray expected;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (i && i % 5000 == 0) expected += Le(offset, 8);
    offset += headers[i].subject.size() + headers[i].sender.size() + headers[i].messageId.size() +
              headers[i].references.size() + 4;
  }
  EXPECT_EQ(ReadAll(files.Seek()), expected);
  EXPECT_EQ(expected.size(), 16);
  EXPECT_EQ(std::uint64_t(QFile(files.Text()).size()), offset);
  EXPECT_EQ(QFile(files.Index()).size(), 12345 * 40);
}

TEST(HeaderFileWriter, MergedPartsEqualOneWriterOfAllHeaders) {
  // Parts as the download writes them per connection range, merged in order;
  // the result (seek entries included) must not depend on how they were split.
  const std::vector<TOwnedHeader> headers = GeneratedHeaders(11000);
  TTempDir dir;
  WriteJob(dir.File(u"whole"_s), headers);
  const std::size_t splits[] = {0, 3000, 3000, 9999, 11000};  // an empty part included
  THeaderFileWriter merged;
  ASSERT_TRUE(merged.Open(dir.File(u"merged.hdrs"_s), dir.File(u"merged.idx"_s), dir.File(u"merged.seek"_s)));
  for (int p = 0; p + 1 < int(std::size(splits)); ++p) {
    const QString part = dir.File(u"part%1"_s.arg(p));
    THeaderFileWriter writer;
    ASSERT_TRUE(writer.Open(part + u".tmp"_s, part + u".idx.tmp"_s));
    for (std::size_t i = splits[p]; i < splits[p + 1]; ++i) ASSERT_TRUE(writer.Write(headers[i].Header()));
    ASSERT_TRUE(writer.Close());
    ASSERT_TRUE(merged.AppendParts(part + u".tmp"_s, part + u".idx.tmp"_s));
  }
  ASSERT_TRUE(merged.Close());
  EXPECT_EQ(merged.Records(), 11000u);
  EXPECT_EQ(merged.MergedBytes(), std::uint64_t(QFile(dir.File(u"whole.hdrs"_s)).size() + 11000 * 40));
  for (const QString& ext : {u".hdrs"_s, u".idx"_s, u".seek"_s})
    EXPECT_EQ(ReadAll(dir.File(u"merged"_s + ext)), ReadAll(dir.File(u"whole"_s + ext))) << ext.toStdString();
}

TEST(HeaderFileWriter, RefusesPartsWhoseIndexAndTextDisagree) {
  const std::vector<TOwnedHeader> headers = GeneratedHeaders(10);
  TTempDir dir;
  WriteJob(dir.File(u"p"_s), headers, false);
  const QByteArray index = ReadAll(dir.File(u"p.idx"_s));
  const QByteArray text = ReadAll(dir.File(u"p.hdrs"_s));
  struct TCase {
    const char* name;
    QByteArray index, text;
  } cases[] = {
      {"index cut inside a record", index.left(index.size() - 3), text},
      {"text shorter than its index says", index, text.left(text.size() - 1)},
      {"text longer than its index says", index, text + "x"},
  };
  for (const TCase& c : cases) {
    WriteAll(dir.File(u"bad.idx"_s), c.index);
    WriteAll(dir.File(u"bad.hdrs"_s), c.text);
    THeaderFileWriter writer;
    ASSERT_TRUE(writer.Open(dir.File(u"out.hdrs"_s), dir.File(u"out.idx"_s)));
    EXPECT_FALSE(writer.AppendParts(dir.File(u"bad.hdrs"_s), dir.File(u"bad.idx"_s))) << c.name;
    EXPECT_EQ(writer.Error(), THeaderFileWriter::WRITER_PART_MISMATCH) << c.name;
    writer.Discard();
  }
  THeaderFileWriter writer;
  ASSERT_TRUE(writer.Open(dir.File(u"out.hdrs"_s), dir.File(u"out.idx"_s)));
  EXPECT_FALSE(writer.AppendParts(dir.File(u"missing.tmp"_s), dir.File(u"missing.idx.tmp"_s)));
  EXPECT_EQ(writer.Error(), THeaderFileWriter::WRITER_OPEN_PART);
}

TEST(HeaderFileWriter, OverlongReferencesKeepTheirLastIdentifiersAndOverlongHeadersAreRefused) {
  TOwnedHeader h;
  h.subject = "subject";
  h.sender = "sender";
  h.messageId = "id@x";
  for (int i = 0; h.references.size() < 70000; ++i) h.references += "<ref" + std::to_string(i) + "@example.com> ";
  h.references += "<parent@example.com>";
  TTempDir dir;
  THeaderFileWriter writer;
  ASSERT_TRUE(writer.Open(dir.File(u"t.hdrs"_s), dir.File(u"t.idx"_s)));
  ASSERT_TRUE(writer.Write(h.Header()));
  EXPECT_EQ(writer.TrimmedReferences(), 1u);

  TOwnedHeader huge = h;
  huge.subject.assign(70000, 's');
  EXPECT_FALSE(writer.Write(huge.Header()));
  EXPECT_EQ(writer.Error(), THeaderFileWriter::WRITER_OK);  // dropped, the files stay good
  ASSERT_TRUE(writer.Close());

  TFiles files;
  QFile::copy(dir.File(u"t.hdrs"_s), files.Text());
  QFile::copy(dir.File(u"t.idx"_s), files.Index());
  const std::vector<TOwnedHeader> back = ReadBack(files, {});
  ASSERT_EQ(back.size(), 1u);
  const std::string& refs = back[0].references;
  EXPECT_LE(refs.size() + 7 + 6 + 4 + 4, 65535u);
  EXPECT_EQ(refs.front(), '<');
  EXPECT_TRUE(refs.ends_with("<parent@example.com>"));
  EXPECT_TRUE(h.references.ends_with(refs));
}

TEST(HeaderFileReader, ReadsEveryRecordWhateverTheBufferSizes) {
  // Small buffers make records cross block ends at every possible place; one
  // record is longer than the headroom and must make the buffer grow.
  std::vector<TOwnedHeader> headers = GeneratedHeaders(3000);
  headers[1234].references.assign(40000, 'r');
  headers[2999].references.assign(20000, 'z');
  TFiles files;
  WriteJob(files.dir.File(u"job"_s), headers);
  const THeaderFileReader::TBufferSizes sizes[] = {
      {512 * 1024, 16384, 25000}, {1, 0, 1}, {64, 16, 3}, {997, 100, 7}, {4096, 16384, 2999}, {70000, 0, 3000},
  };
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << "block " << s.textBlock << " headroom " << s.headroom << " batch "
                                    << s.indexBatch);
    THeaderFileReader::TStatus last;
    bool truncated = true;
    ExpectSame(ReadBack(files, s, &last, &truncated), headers, headers.size());
    EXPECT_EQ(last, THeaderFileReader::READ_END);
    EXPECT_FALSE(truncated);
  }
}

TEST(HeaderFileReader, DamagedFilesEndCleanlyOrAreReportedNeverReadPastTheData) {
  const std::vector<TOwnedHeader> headers = GeneratedHeaders(200);
  TFiles files;
  WriteJob(files.dir.File(u"job"_s), headers);
  const QByteArray index = ReadAll(files.Index());
  const QByteArray text = ReadAll(files.Text());
  qsizetype record100 = 0;  // text offset of record 100 (0-based)
  for (int i = 0; i < 100; ++i) record100 += qsizetype(headers[i].Header().TextRecordLength());

  QByteArray wrongLength = index;
  wrongLength[100 * 40 + 12] = char(wrongLength[100 * 40 + 12] + 1);  // stated length no longer matches the texts
  QByteArray oneByteLess = text;
  oneByteLess.remove(record100 + 2, 1);  // text out of step with the index from record 100 on
  QByteArray zeroFilled = text;
  zeroFilled[record100 + qsizetype(headers[100].subject.size())] = 'x';  // no 0x00 where the index puts one
  struct TCase {
    const char* name;
    QByteArray index, text;
    THeaderFileReader::TStatus end;
    std::size_t records;
    bool truncated;
  } cases[] = {
      {"index cut inside its last record", index.left(index.size() - 17), text, THeaderFileReader::READ_END, 199, true},
      {"text cut inside record 101", index, text.left(record100 + 5), THeaderFileReader::READ_END, 100, true},
      {"text cut at the end of record 100", index, text.left(record100), THeaderFileReader::READ_END, 100, true},
      {"length field out of step", wrongLength, text, THeaderFileReader::READ_BAD_RECORD, 100, false},
      {"a text byte missing", index, oneByteLess, THeaderFileReader::READ_BAD_RECORD, 100, false},
      {"terminator overwritten", index, zeroFilled, THeaderFileReader::READ_BAD_RECORD, 100, false},
  };
  for (const TCase& c : cases) {
    for (const THeaderFileReader::TBufferSizes& s :
         {THeaderFileReader::TBufferSizes{}, THeaderFileReader::TBufferSizes{64, 16, 3}}) {
      SCOPED_TRACE(testing::Message() << c.name << ", block " << s.textBlock);
      WriteAll(files.Index(), c.index);
      WriteAll(files.Text(), c.text);
      THeaderFileReader::TStatus last;
      bool truncated = false;
      const std::vector<TOwnedHeader> back = ReadBack(files, s, &last, &truncated);
      EXPECT_EQ(last, c.end);
      ExpectSame(back, headers, c.records);
      EXPECT_EQ(truncated, c.truncated);
    }
  }
}

TEST(HeaderFileReader, StartFailsOnAnEmptyTextFile) {
  const std::vector<TOwnedHeader> headers = GeneratedHeaders(3);
  TFiles files;
  WriteJob(files.dir.File(u"job"_s), headers);
  WriteAll(files.Text(), {});
  THeaderFileReader reader;
  ASSERT_EQ(reader.Open(files.Text(), files.Index()), THeaderFileReader::OPEN_OK);
  EXPECT_EQ(reader.Start(), RC_OPERATION_FAILED);
  EXPECT_EQ(reader.Open(files.dir.File(u"none.hdrs"_s), files.Index()), THeaderFileReader::OPEN_TEXT_FAILED);
  EXPECT_EQ(reader.Open(files.Text(), files.dir.File(u"none.idx"_s)), THeaderFileReader::OPEN_INDEX_FAILED);
}
