#include "binaries/DupeKeyFile.h"

#include "app/LittleEndian.h"
#include "app/Logger.h"
#include "binaries/DownloadListFiles.h"

#include <QFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

QSet<std::uint32_t> LoadDupeKeys(const QString& cuePath) {
  QSet<std::uint32_t> keys;
  QFile file(DownloadListFile(cuePath, ".crc"));
  if (!file.open(QIODevice::ReadOnly)) {
    keys.insert(0);
    return keys;
  }
  const QByteArray data = file.readAll();
  const qsizetype count = data.size() / 4;
  keys.reserve(count);
  for (qsizetype i = 0; i < count; ++i) keys.insert(le::Get32(data.constData() + i * 4));
  if (count == 0) keys.insert(0);
  return keys;
}

bool AppendDupeKeys(const QString& cuePath, const QList<std::uint32_t>& keys) {
  LOG_METHOD("AppendDupeKeys");
  const QString path = DownloadListFile(cuePath, ".crc");
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite)) {
    LogError(u"Cannot open "_s + path + u": "_s + file.errorString());
    return false;
  }
  // A record cut short by an earlier crash is dropped, so the keys stay aligned.
  const qint64 whole = file.size() / 4 * 4;
  if (whole != file.size()) file.resize(whole);
  if (keys.isEmpty()) return true;
  QByteArray data(keys.size() * 4, '\0');
  for (qsizetype i = 0; i < keys.size(); ++i) le::Put32(data.data() + i * 4, keys[i]);
  file.seek(whole);
  if (file.write(data) != data.size() || !file.flush()) {
    LogError(u"Cannot append to "_s + path + u": "_s + file.errorString());
    file.resize(whole);
    return false;
  }
  ::fsync(file.handle());
  return true;
}
