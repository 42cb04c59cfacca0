#include "model/ReadMarksFile.h"

#include "app/FileUtils.h"
#include "app/LittleEndian.h"
#include "app/Logger.h"

#include <QFile>

#include <cstring>
#include <new>

using namespace Qt::StringLiterals;

namespace {

// Any non-null tag: Add pushes an item only when it has an object or a tag.
int gUnmarkTag;

}  // namespace

QString TReadMarksFile::FileName(const QString& dir, const QString& newsgroup) {
  return FindFileNoCase(dir, CleanPathComponent(newsgroup) + u".dat"_s);
}

bool TReadMarksFile::Load(const QString& path, TTernaryList& list) {
  LOG_METHOD("LoadReadMarksFile");
  list.Clear();
  QFile file(path);
  if (!file.exists()) return true;
  if (!file.open(QIODevice::ReadOnly)) {
    LogError(u"Exception raised while creating memory stream: "_s + path + u": "_s + file.errorString());
    return false;
  }
  QByteArray data;
  try {
    data = file.readAll();
  } catch (const std::bad_alloc&) {
    LogError(u"Exception raised while loading dat file into memory: "_s + path);
    return false;
  }
  if (data.size() != file.size()) {
    LogError(u"Exception raised while loading dat file into memory: "_s + path + u": "_s + file.errorString());
    return false;
  }

  const char* bytes = data.constData();
  const qsizetype size = data.size();
  qsizetype pos = 0;
  int passedOver = 0;
  while (pos < size) {
    if (size - pos < 2) break;
    const qsizetype length = le::Get16(bytes + pos);
    if (length == 0 || size - pos - 2 < length || bytes[pos + 1 + length] != 0) break;
    const char* key = bytes + pos + 2;
    const void* zero = std::memchr(key, 0, static_cast<std::size_t>(length - 1));
    const qsizetype keyLength = zero ? static_cast<const char*>(zero) - key : length - 1;
    if (keyLength > kMaxKeyLength) {
      ++passedOver;
    } else if (keyLength > 0 && !list.Add(QByteArrayView(key, keyLength), Marked())) {
      LogError(u"Exception raised while adding strings to ternary list: "_s + path);
      return false;
    }
    pos += length + 2;
  }
  if (passedOver)
    LogWarning(u"%1 identifiers longer than %2 bytes passed over in "_s.arg(passedOver).arg(kMaxKeyLength) + path);
  if (pos < size) {
    LogError(u"Read marks file damaged at byte %1 of %2, the marks after it are not loaded: "_s.arg(pos).arg(size) +
             path);
    return false;
  }
  return true;
}

bool TReadMarksFile::AppendRecord(QByteArray& out, QByteArrayView id) {
  if (id.isEmpty() || id.size() > kMaxKeyLength) return false;
  const qsizetype at = out.size();
  out.resize(at + 2 + id.size() + 1);
  char* p = out.data() + at;
  le::Put16(p, static_cast<std::uint16_t>(id.size() + 1));
  std::memcpy(p + 2, id.data(), static_cast<std::size_t>(id.size()));
  p[2 + id.size()] = 0;
  return true;
}

bool TReadMarksFile::Rewrite(const QString& path, const TTernaryList& list) {
  LOG_METHOD("RewriteReadMarksFile");
  QByteArray data;
  list.ForEach(0, [&](const TTernaryWalkRecord& r) {
    if (IsMarked(r.items)) AppendRecord(data, QByteArrayView(r.key, r.keyLength));
  });
  if (data.isEmpty()) {
    if (QFile::exists(path) && !QFile::remove(path)) {
      LogError(u"Cannot delete the emptied read marks file "_s + path);
      return false;
    }
    return true;
  }
  QString error;
  if (!WriteFileAtomic(path, data, &error)) {
    LogError(u"Cannot rewrite the read marks file "_s + path + u": "_s + error);
    return false;
  }
  return true;
}

bool TReadMarksFile::Unmark(TTernaryList& list, QByteArrayView id) {
  if (!list.Find(id)) return false;
  return list.Add(id, nullptr, &gUnmarkTag);
}
