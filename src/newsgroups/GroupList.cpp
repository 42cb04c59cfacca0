#include "newsgroups/GroupList.h"

#include "app/FileUtils.h"
#include "app/LittleEndian.h"
#include "app/Logger.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString WithExtension(const QString& path, const QString& ext) {
  const QFileInfo info(path);
  const QString dir = WithTrailingSlash(info.path());
  return FindFileNoCase(dir, info.completeBaseName() + ext);
}

bool ReadWhole(const QString& path, QByteArray& out) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
  // One read into a buffer of the file's size: readAll() grows its buffer
  // piece by piece, which costs more than the read on a large list.
  const qint64 size = f.size();
  out.resize(size);
  qint64 done = 0;
  while (done < size) {
    const qint64 n = f.read(out.data() + done, size - done);
    if (n <= 0) break;
    done += n;
  }
  // A file that grew meanwhile is not read whole.
  return done == size && f.atEnd();
}

// ASCII case folding is what group names need; it never allocates.
int CompareNoCase(QByteArrayView a, QByteArrayView b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const int ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    const int la = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
    const int lb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
    if (la != lb) return la - lb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Digits only; a number beyond 64 bits stays at the largest one rather than
// wrap to a negative count.
std::int64_t ParseNumber(QByteArrayView text) {
  if (text.isEmpty()) return 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    const int digit = c - '0';
    v = v > (kMax - digit) / 10 ? kMax : v * 10 + digit;
  }
  return v;
}

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Splits the names buffer into (offset, length) pairs; false when it is torn.
bool WalkNames(const QByteArray& names, qsizetype expected, std::vector<std::pair<std::uint32_t, std::uint8_t>>& out) {
  out.clear();
  out.reserve(static_cast<size_t>(expected));
  qsizetype pos = 0;
  while (static_cast<qsizetype>(out.size()) < expected) {
    if (pos >= names.size()) return false;
    const int length = static_cast<unsigned char>(names[pos]);
    if (length < 2 || pos + length > names.size()) return false;
    out.emplace_back(static_cast<std::uint32_t>(pos + 1), static_cast<std::uint8_t>(length - 2));
    pos += length;
  }
  return true;
}

}  // namespace

QString TGroupList::NamesPath(const QString& path) { return WithExtension(path, u".gnam"_s); }
QString TGroupList::DataPath(const QString& path) { return WithExtension(path, u".gdat"_s); }

QByteArray TGroupList::Header() {
  QByteArray h(kHeaderSize, '\0');
  le::Put32(h.data(), kMagic);
  return h;
}

QByteArray TGroupList::NameRecord(QByteArrayView name) {
  QByteArray r;
  const qsizetype n = std::min<qsizetype>(name.size(), kMaxNameLength);
  r.reserve(n + 2);
  r.append(static_cast<char>(n + 2));
  r.append(name.data(), n);
  r.append('\0');
  return r;
}

bool TGroupList::Load(const QString& path, const QList<QByteArray>& boldList) {
  LOG_METHOD("LoadGroupList");
  names.clear();
  entries.clear();
  const QString namesPath = NamesPath(path);
  const QString dataPath = DataPath(path);
  if (!QFileInfo::exists(namesPath)) return false;
  QByteArray data;
  if (!ReadWhole(dataPath, data) || data.size() < kHeaderSize || le::Get32(data.constData()) != kMagic) return false;
  QByteArray nameBuffer;
  if (!ReadWhole(namesPath, nameBuffer)) return false;
  const qsizetype count = (data.size() - kHeaderSize) / kRecordSize;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> spans;
  if (!WalkNames(nameBuffer, count, spans)) {
    LogWarning(u"Group list "_s + namesPath + u" holds fewer names than counts; not loaded"_s);
    return false;
  }
  const bool isMainList = QFileInfo(namesPath).fileName().toLower() == u"groups.gnam"_s;
  entries.resize(count);
  const char* rec = data.constData() + kHeaderSize;
  for (qsizetype i = 0; i < count; ++i, rec += kRecordSize) {
    TGroupListEntry& e = entries[i];
    e.nameOffset = spans[static_cast<size_t>(i)].first;
    e.nameLength = spans[static_cast<size_t>(i)].second;
    e.position = static_cast<std::uint32_t>(i);
    e.newCount = static_cast<std::int32_t>(le::Get32(rec));
    e.total = static_cast<std::int32_t>(le::Get32(rec + 4));
  }
  names = std::move(nameBuffer);
  if (!isMainList && !boldList.isEmpty()) {
    // Highlight names are compared without regard to case; a set keeps a long
    // list from costing a pass over it per group.
    QSet<QByteArray> bold;
    for (const QByteArray& b : boldList) bold.insert(b.toLower());
    for (TGroupListEntry& e : entries) {
      const QByteArrayView n = Name(e);
      const bool lower = std::none_of(n.begin(), n.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
      const QByteArray key = lower ? QByteArray::fromRawData(n.data(), n.size()) : n.toByteArray().toLower();
      if (bold.contains(key)) e.flags |= TGroupListEntry::FLAG_HIGHLIGHTED;
    }
  }
  return true;
}

bool TGroupList::CreateEmpty(const QString& path) {
  QFile namesFile(NamesPath(path));
  QFile dataFile(DataPath(path));
  if (!namesFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  if (!dataFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return dataFile.write(Header()) == kHeaderSize && dataFile.flush();
}

bool TGroupList::Delete(const QString& path) {
  const QString n = NamesPath(path), d = DataPath(path);
  QFile::remove(n);
  QFile::remove(d);
  return !QFileInfo::exists(n) && !QFileInfo::exists(d);
}

bool TGroupList::Sort(const QString& path, bool removeDuplicates) {
  LOG_METHOD("SortGroupList");
  QByteArray data, nameBuffer;
  if (!ReadWhole(DataPath(path), data) || data.size() < kHeaderSize) return false;
  if (!ReadWhole(NamesPath(path), nameBuffer)) return false;
  const qsizetype count = (data.size() - kHeaderSize) / kRecordSize;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> spans;
  if (!WalkNames(nameBuffer, count, spans)) return false;

  const auto nameOf = [&](size_t i) { return QByteArrayView(nameBuffer).sliced(spans[i].first, spans[i].second); };
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return CompareNoCase(nameOf(a), nameOf(b)) < 0; });

  QByteArray outNames, outData = data.left(kHeaderSize);
  outNames.reserve(nameBuffer.size());
  outData.reserve(data.size());
  for (size_t k = 0; k < order.size(); ++k) {
    // Of names equal without regard to case, the last one stays.
    if (removeDuplicates && k + 1 < order.size() && CompareNoCase(nameOf(order[k]), nameOf(order[k + 1])) == 0)
      continue;
    outNames += NameRecord(nameOf(order[k]));
    outData.append(data.constData() + kHeaderSize + order[k] * kRecordSize, kRecordSize);
  }

  const QFileInfo info(NamesPath(path));
  const QString base = WithTrailingSlash(info.path()) + info.completeBaseName();
  const QString tmpNames = base + u".gnamt"_s, tmpData = base + u".gdatt"_s;
  if (!WriteFileAtomic(tmpData, outData) || !WriteFileAtomic(tmpNames, outNames)) {
    QFile::remove(tmpData);
    QFile::remove(tmpNames);
    return false;
  }
  return ReplacePair(tmpNames, tmpData, path);
}

bool TGroupList::ReplacePair(const QString& srcNames, const QString& srcData, const QString& destination) {
  const QString dstNames = NamesPath(destination), dstData = DataPath(destination);
  const QByteArray names = QFile::encodeName(dstNames), data = QFile::encodeName(dstData);
  // rename(2) replaces each file atomically. The old data file keeps a second
  // name until the names file has followed, so a failure in between can put
  // the old pair back instead of leaving new counts beside old names.
  const QByteArray backup = data + ".old";
  ::unlink(backup.constData());
  const bool hasBackup = ::link(data.constData(), backup.constData()) == 0;
  if (::rename(QFile::encodeName(srcData).constData(), data.constData()) != 0) {
    if (hasBackup) ::unlink(backup.constData());
    return false;
  }
  if (::rename(QFile::encodeName(srcNames).constData(), names.constData()) != 0) {
    if (hasBackup)
      ::rename(backup.constData(), data.constData());
    else
      ::unlink(data.constData());
    return false;
  }
  if (hasBackup) ::unlink(backup.constData());
  return true;
}

bool TGroupList::UpdateCounts(const QString& path, QByteArrayView name, std::int32_t newCount, std::int32_t total) {
  QFile dataFile(DataPath(path));
  QByteArray nameBuffer;
  if (!ReadWhole(NamesPath(path), nameBuffer) || nameBuffer.isEmpty()) return false;
  if (!dataFile.open(QIODevice::ReadWrite)) return false;
  if (dataFile.size() <= kHeaderSize) return false;
  const QByteArray header = dataFile.read(4);
  if (header.size() != 4 || le::Get32(header.constData()) != kMagic) return false;
  const qsizetype count = (dataFile.size() - kHeaderSize) / kRecordSize;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> spans;
  WalkNames(nameBuffer, count, spans);  // a torn names file updates what it names
  char record[kRecordSize];
  le::Put32(record, static_cast<std::uint32_t>(newCount));
  le::Put32(record + 4, static_cast<std::uint32_t>(total));
  bool written = false;
  for (size_t i = 0; i < spans.size(); ++i) {
    if (CompareNoCase(QByteArrayView(nameBuffer).sliced(spans[i].first, spans[i].second), name) != 0) continue;
    if (dataFile.seek(kHeaderSize + static_cast<qint64>(i) * kRecordSize) &&
        dataFile.write(record, kRecordSize) == kRecordSize)
      written = true;
  }
  return written;
}

void TGroupList::WriteCountsAt(const QString& path, std::uint32_t position, std::int32_t newCount, std::int32_t total) {
  QFile dataFile(DataPath(path));
  if (!dataFile.open(QIODevice::ReadWrite)) return;
  const qint64 offset = kHeaderSize + static_cast<qint64>(position) * kRecordSize;
  if (offset + kRecordSize > dataFile.size() || !dataFile.seek(offset)) return;
  char record[kRecordSize];
  le::Put32(record, static_cast<std::uint32_t>(newCount));
  le::Put32(record + 4, static_cast<std::uint32_t>(total));
  dataFile.write(record, kRecordSize);
}

bool TGroupList::AppendFile(const QString& source, const QString& destination, qint64 skip) {
  QFile in(source);
  QFile out(destination);
  if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::Append)) return false;
  if (skip > 0 && !in.seek(skip)) return skip >= in.size();
  QByteArray chunk;
  while (!(chunk = in.read(65536)).isEmpty())
    if (out.write(chunk) != chunk.size()) return false;
  return in.error() == QFileDevice::NoError && out.flush();
}

namespace {
// last - first + 1 of two non-negative numbers, without overflow at the top.
std::int32_t SpanCount(std::int64_t last, std::int64_t first) {
  const std::int64_t span = last - first;
  return span >= std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                           : Clamp32(span + 1);
}
}  // namespace

std::int32_t TGroupList::CountFromList(std::int64_t last, std::int64_t first) {
  if ((last == 0 && first == 0) || first > last) return 0;
  return SpanCount(last, first);
}

std::int32_t TGroupList::CountFromNewGroups(std::int64_t last, std::int64_t first) {
  if (last == 0 && first == 0) return 0;
  return SpanCount(last, first);
}

bool TGroupList::ParseActiveLine(QByteArrayView line, QByteArrayView& name, std::int64_t& last, std::int64_t& first) {
  // Pointer walk: a full list is a hundred thousand lines and more.
  const char* p = line.data();
  const char* const end = p + line.size();
  QByteArrayView fields[3];
  int n = 0;
  while (n < 3) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p == end) break;
    const char* const start = p;
    while (p < end && *p != ' ' && *p != '\t') ++p;
    fields[n++] = QByteArrayView(start, p - start);
  }
  if (n == 0) return false;
  name = fields[0];
  last = n > 1 ? ParseNumber(fields[1]) : 0;
  first = n > 2 ? ParseNumber(fields[2]) : 0;
  return true;
}

qsizetype TGroupList::IndexOfNoCase(QByteArrayView name, QByteArrayView lowerTerm) {
  if (lowerTerm.isEmpty()) return 0;
  const char first = lowerTerm[0];
  const qsizetype lastStart = name.size() - lowerTerm.size();
  for (qsizetype i = 0; i <= lastStart; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != first) continue;
    qsizetype k = 1;
    for (; k < lowerTerm.size(); ++k) {
      char d = name[i + k];
      if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + 32);
      if (d != lowerTerm[k]) break;
    }
    if (k == lowerTerm.size()) return i;
  }
  return -1;
}

QString TGroupList::TotalText(std::int32_t total) {
  if (total == kNotOnServer) return u"(group not on server) "_s;
  if (total < 0) return u"? "_s;
  return QString::number(total) + u' ';
}

QString TGroupList::NewText(std::int32_t newCount, std::int32_t total) {
  if (total == kNotOnServer) return {};
  if (newCount < 0) return u"? "_s;
  return QString::number(newCount) + u' ';
}
