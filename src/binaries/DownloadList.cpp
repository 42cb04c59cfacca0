#include "binaries/DownloadList.h"

#include "app/Crc32.h"
#include "app/Logger.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/SubjectCounter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <new>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {
bool SameText(const QByteArray& a, const QByteArray& b) {
  return a.size() == b.size() && qstrnicmp(a.constData(), a.size(), b.constData(), b.size()) == 0;
}

// Splits text into lines at LF (a CR before it is dropped), without copying.
class TLineCursor {
 public:
  explicit TLineCursor(QByteArrayView text) : fText(text) {}
  QByteArrayView Next() {
    if (fPos >= fText.size()) return {};
    const qsizetype start = fPos;
    qsizetype end = start;
    while (end < fText.size() && fText[end] != '\n') ++end;
    fPos = end + 1;
    if (end > start && fText[end - 1] == '\r') --end;
    return fText.sliced(start, end - start);
  }

 private:
  QByteArrayView fText;
  qsizetype fPos = 0;
};
}  // namespace

void TDownloadList::Clear() {
  fEntries.clear();
  fNewsgroups.clear();
  fNewsgroupIndex.clear();
  fRows.clear();
  fError.clear();
}

QByteArray TDownloadList::Newsgroup(int index) const {
  return index >= 0 && index < fNewsgroups.size() ? fNewsgroups[index] : QByteArray();
}

std::uint16_t TDownloadList::NewsgroupIndex(QByteArrayView name) {
  const QByteArray key(name.data(), name.size());
  const auto it = fNewsgroupIndex.constFind(key);
  if (it != fNewsgroupIndex.constEnd()) return *it;
  if (fNewsgroups.size() > 0xFFFF) {
    LogWarning("More than 65536 newsgroups in one download list; the last one is reused");
    return 0xFFFF;
  }
  const auto index = static_cast<std::uint16_t>(fNewsgroups.size());
  fNewsgroups.append(key);
  fNewsgroupIndex.insert(key, index);
  return index;
}

int TDownloadList::Append(TDownloadEntry entry, QByteArrayView messageId, QByteArrayView subject,
                          QByteArrayView newsgroup) {
  entry.messageId = QByteArray(messageId.data(), messageId.size());
  entry.subject = QByteArray(subject.data(), subject.size());
  entry.newsgroup = NewsgroupIndex(newsgroup);
  entry.messageIdCrc = Crc32(entry.messageId);
  fEntries.push_back(std::move(entry));
  return Count() - 1;
}

bool TDownloadList::Load(const QString& cuePath) {
  LOG_METHOD("LoadDownloadList");
  Clear();
  RecoverDownloadListFiles(cuePath);
  const QString bodyPath = DownloadListFile(cuePath, ".body");
  const auto fail = [this](const QString& text) {
    LogError(text);
    const QString keep = text;
    Clear();
    fError = keep;
    return false;
  };
  if (!QFileInfo::exists(cuePath) || !QFileInfo::exists(bodyPath))
    return fail(u"Queue \""_s + cuePath + u"\" does not exists or is missing related files"_s);
  try {
    QByteArray records;
    {
      QFile cue(cuePath);
      if (!cue.open(QIODevice::ReadOnly))
        return fail(u"Exception while reading entries file \""_s + cuePath + u'"');
      const qint64 size = cue.size();
      records = cue.readAll();
      if (records.size() != size)
        return fail(QString::asprintf("Error reading %lld bytes from entries file (got %lld)",
                                      static_cast<long long>(size), static_cast<long long>(records.size())));
    }
    const qsizetype count = records.size() / TDownloadEntry::kRecordSize;
    try {
      fEntries.reserve(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
      return fail(QString::asprintf("Failed to allocate %lld bytes for Headers.EntriesMemory.",
                                    static_cast<long long>(count) * TDownloadEntry::kRecordSize));
    }
    QByteArray body;
    {
      QFile file(bodyPath);
      if (!file.open(QIODevice::ReadOnly)) return fail(u"Error opening queue body file \""_s + bodyPath + u'"');
      body = file.readAll();
    }
    TLineCursor lines(body);
    for (qsizetype i = 0; i < count; ++i) {
      TDownloadEntry e = TDownloadEntry::FromRecord(records.constData() + i * TDownloadEntry::kRecordSize);
      const QByteArrayView id = lines.Next();
      const QByteArrayView subject = lines.Next();
      const QByteArrayView group = lines.Next();
      if (!id.isEmpty() && !subject.isEmpty() && !group.isEmpty()) {
        e.newsgroup = NewsgroupIndex(group);
        e.subject = subject.toByteArray();
        e.messageId = id.toByteArray();
        e.messageIdCrc = Crc32(e.messageId);
      }
      e.flags = (e.flags | DOWNLOAD_FLAG_OWNS_MESSAGEID) &
                ~(DOWNLOAD_FLAG_OWNS_SUBJECT | DOWNLOAD_FLAG_GATHERED | DOWNLOAD_FLAG_OWNS_TEXT);
      e.order = 0;
      fEntries.push_back(std::move(e));
    }
  } catch (const std::bad_alloc&) {
    return fail(u"Exception while reading entries file \""_s + cuePath + u'"');
  }
  return true;
}

bool TDownloadList::Save(const QString& cuePath, bool withTexts) {
  LOG_METHOD("SaveDownloadList");
  fError.clear();
  for (const char* ext : {".log", ".lck", ".temp", ".seek", ".txt"}) QFile::remove(DownloadListFile(cuePath, ext));
  TListTempFile cue;
  TListTempFile body;
  const auto fail = [this](const QString& text) {
    LogError(text);
    fError = text;
    return false;
  };
  if (!cue.Open(CueTempPath(cuePath))) return fail(u"Cannot create "_s + cue.Path() + u": "_s + cue.ErrorString());
  if (withTexts && !body.Open(BodyTempPath(cuePath)))
    return fail(u"Cannot create "_s + body.Path() + u": "_s + body.ErrorString());
  char record[TDownloadEntry::kRecordSize];
  QByteArray lines;
  for (const TDownloadEntry& e : fEntries) {
    e.ToRecord(record);
    if (!cue.Write(QByteArrayView(record, sizeof record))) break;
    if (withTexts) {
      lines.clear();
      lines += BodyLineText(e.messageId);
      lines += "\r\n";
      lines += BodyLineText(e.subject);
      lines += "\r\n";
      if (e.HasTexts()) lines += BodyLineText(Newsgroup(e.newsgroup));
      lines += "\r\n";
      if (!body.Write(lines)) break;
    }
  }
  if (!cue.Finish()) return fail(u"Error writing "_s + cue.Path() + u": "_s + cue.ErrorString());
  if (withTexts && !body.Finish()) {
    QFile::remove(cue.Path());
    return fail(u"Error writing "_s + body.Path() + u": "_s + body.ErrorString());
  }
  QString error;
  if (!CommitDownloadListFiles(cuePath, cue.Path(), withTexts ? body.Path() : QString(), &error)) return fail(error);
  return true;
}

int TDownloadList::PostOf(int entry) const {
  const TDownloadEntry& e = Entry(entry);
  const int kind = e.Kind();
  return (kind == 3 || kind == 4) && e.parent >= 0 ? e.parent : entry;
}

std::pair<int, int> TDownloadList::PostRange(int post) const {
  const TDownloadEntry& e = Entry(post);
  const int kind = e.Kind();
  if (kind == 1 || kind == 2) return {post, std::min(Count(), post + std::max<int>(1, e.postCount))};
  return {post, post + 1};
}

std::pair<int, int> TDownloadList::RowRange(int post) const {
  return {post, std::min(Count(), post + std::max<int>(1, Entry(post).postCount))};
}

void TDownloadList::BuildPosts(const QByteArrayList& completeStrings) {
  LOG_METHOD("BuildPosts");
  const int n = Count();
  // 1. Part counters; grouping compares the subjects without them.
  std::vector<QByteArray> base(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    TDownloadEntry& e = Entry(i);
    const QByteArray normal = NormalizeCounterBrackets(e.subject);
    const TSubjectCounter c = FindPartCounter(normal);
    if (c.Found()) {
      base[static_cast<std::size_t>(i)] = RemovePartCounter(normal, c);
      e.counterPosition = static_cast<std::uint16_t>(std::min<qsizetype>(c.start + 1, 0xFFFF));
      e.partNumber = c.part;
      e.totalParts = c.total;
    } else {
      base[static_cast<std::size_t>(i)] = e.subject;
      e.counterPosition = e.partNumber = e.totalParts = 0;
    }
  }
  const auto sameBase = [&base](int a, int b) {
    return SameText(base[static_cast<std::size_t>(a)], base[static_cast<std::size_t>(b)]);
  };

  // 2. The parts of a post in order: by part (larger copies first), or by date without a total.
  for (int i = 0; i < n;) {
    int j = i + 1;
    while (j < n && sameBase(i, j)) ++j;
    if (Entry(i).totalParts == 1) {
      ++i;
      continue;
    }
    if (j - i >= 2) {
      std::vector<int> order(static_cast<std::size_t>(j - i));
      std::iota(order.begin(), order.end(), i);
      const bool byPart = Entry(i).totalParts != 0;
      std::stable_sort(order.begin(), order.end(), [this, byPart](int a, int b) {
        const TDownloadEntry& x = Entry(a);
        const TDownloadEntry& y = Entry(b);
        if (!byPart) return x.date < y.date;
        if (x.partNumber != y.partNumber) return x.partNumber < y.partNumber;
        return x.lines > y.lines;
      });
      std::vector<TDownloadEntry> entries;
      std::vector<QByteArray> bases;
      entries.reserve(order.size());
      bases.reserve(order.size());
      for (int k : order) {
        entries.push_back(std::move(Entry(k)));
        bases.push_back(std::move(base[static_cast<std::size_t>(k)]));
      }
      for (int k = i; k < j; ++k) {
        Entry(k) = std::move(entries[static_cast<std::size_t>(k - i)]);
        base[static_cast<std::size_t>(k)] = std::move(bases[static_cast<std::size_t>(k - i)]);
      }
    }
    i = j;
  }

  // 3. Every entry a post of its own.
  for (TDownloadEntry& e : fEntries) {
    e.SetKind(0);
    e.SetFlag(DOWNLOAD_FLAG_GATHERED, false);
    e.postCount = 1;
    e.postIndex = 0;
    e.parent = -1;
    e.totalLines = e.lines;
  }

  // 4. Multipart posts: the following entries with the same subject and total.
  for (int i = 0; i < n;) {
    TDownloadEntry& first = Entry(i);
    if (first.totalParts == 0 || first.HasFlag(DOWNLOAD_FLAG_REMOVED)) {
      ++i;
      continue;
    }
    int j = i + 1;
    while (j < n && j - i < 0xFFFF) {
      const TDownloadEntry& e = Entry(j);
      if (!e.HasFlag(DOWNLOAD_FLAG_REMOVED) && (!sameBase(i, j) || e.totalParts != first.totalParts)) break;
      ++j;
    }
    bool complete = true;
    if (first.totalParts != 1) {
      int from = i;
      for (int k = 1; k <= first.totalParts && complete; ++k) {
        int m = from;
        while (m < j && Entry(m).partNumber != k) ++m;
        if (m >= j) complete = false;
        from = m + 1;
      }
    }
    std::uint32_t lines = 0;
    for (int k = i; k < j; ++k) {
      TDownloadEntry& e = Entry(k);
      lines += e.lines;
      if (k > i) {
        e.SetKind(complete ? 3 : 4);
        e.parent = i;
        e.postIndex = static_cast<std::uint16_t>(k - i);
      }
    }
    first.SetKind(complete ? 1 : 2);
    first.postCount = static_cast<std::uint16_t>(j - i);
    first.totalLines = lines;
    i = j;
  }

  // 5. Runs of singles with one subject are shown as one row.
  for (int i = 0; i < n;) {
    TDownloadEntry& first = Entry(i);
    if (first.Kind() != 0 || first.HasFlag(DOWNLOAD_FLAG_REMOVED)) {
      i += std::max<int>(1, first.postCount);
      continue;
    }
    int j = i + 1;
    while (j < n && j - i < 0xFFFF) {
      TDownloadEntry& e = Entry(j);
      if (e.Kind() != 0 || e.HasFlag(DOWNLOAD_FLAG_REMOVED) || !sameBase(i, j)) break;
      e.SetFlag(DOWNLOAD_FLAG_GATHERED, true);
      e.parent = i;
      e.postIndex = static_cast<std::uint16_t>(j - i);
      ++j;
    }
    first.postCount = static_cast<std::uint16_t>(j - i);
    i = j;
  }

  // 6. Singles named complete by the program's strings.
  if (!completeStrings.isEmpty()) {
    for (int i = 0; i < n; ++i) {
      TDownloadEntry& e = Entry(i);
      if (e.Kind() != 0 || e.parent >= 0 || e.postCount != 1) continue;
      const QByteArray lower = e.subject.toLower();
      for (const QByteArray& s : completeStrings) {
        if (!s.isEmpty() && lower.contains(s)) {
          e.totalParts = e.partNumber = 1;
          e.SetKind(1);
          break;
        }
      }
    }
  }

  // 7. Rows: every post not removed, numbered from 1.
  fRows.clear();
  std::uint32_t order = 0;
  for (int i = 0; i < n;) {
    TDownloadEntry& first = Entry(i);
    const int end = std::min(n, i + std::max<int>(1, first.postCount));
    if (first.HasFlag(DOWNLOAD_FLAG_REMOVED)) {
      for (int k = i; k < end; ++k) Entry(k).order = 0;
    } else {
      ++order;
      fRows.push_back(i);
      for (int k = i; k < end; ++k) Entry(k).order = order;
    }
    i = end;
  }
}
