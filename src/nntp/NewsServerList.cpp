#include "nntp/NewsServerList.h"

#include "app/FileUtils.h"
#include "app/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

TNewsServerList& TNewsServerList::Instance() {
  static TNewsServerList list;
  return list;
}

bool TNewsServerList::IsValidServerName(const QString& name) {
  if (name.trimmed().isEmpty() || name.size() > TNewsServerEntry::kMaxEditorNameLength) return false;
  if (name == u"."_s || name == u".."_s) return false;
  for (QChar c : name) {
    if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
  }
  return true;
}

QString TNewsServerList::ServerDirectory(const QString& serversDir, const QString& name) {
  return FindFileNoCase(serversDir, name) + u'/';
}

QList<TNewsServerEntry> TNewsServerList::Parse(const QByteArray& data) {
  QList<TNewsServerEntry> out;
  const qsizetype count = data.size() / TNewsServerEntry::kRecordSize;
  out.reserve(count);
  for (qsizetype i = 0; i < count; ++i)
    out << TNewsServerEntry::FromRecord(
        QByteArrayView(data).sliced(i * TNewsServerEntry::kRecordSize, TNewsServerEntry::kRecordSize));
  return out;
}

QByteArray TNewsServerList::Serialize(const QList<TNewsServerEntry>& entries) {
  QByteArray data;
  data.reserve(entries.size() * TNewsServerEntry::kRecordSize);
  for (const TNewsServerEntry& e : entries) data += e.ToRecord();
  return data;
}

QString TNewsServerList::FilePath(const QString& userDataDir) {
  return FindFileNoCase(WithTrailingSlash(userDataDir), QLatin1String(kFileName));
}

bool TNewsServerList::ReadFile(const QString& userDataDir, const QString& serversDir, QList<TNewsServerEntry>& out) {
  out.clear();
  const QString path = FilePath(userDataDir);
  RecoverRecordFile(path);
  if (!QFileInfo::exists(path)) return true;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    LogError(u"Cannot open "_s + path + u": "_s + file.errorString());
    return false;
  }
  const QByteArray data = file.readAll();
  // A short read would drop servers, and the editor would write the rest back.
  if (file.error() != QFileDevice::NoError) {
    LogError(u"Cannot read "_s + path + u": "_s + file.errorString());
    return false;
  }
  out = Parse(data);
  if (!serversDir.isEmpty())
    for (TNewsServerEntry& e : out)
      if (IsValidServerName(e.Name()))
        e.acceptedFingerprint = ReadTrustedFingerprint(ServerDirectory(serversDir, e.Name()));
  return true;
}

bool TNewsServerList::Load(const QString& userDataDir, const QString& serversDir) {
  LOG_METHOD("LoadNewsServers");
  fEntries.clear();
  if (userDataDir.isEmpty() || !QFileInfo(userDataDir).isDir()) return true;
  QList<TNewsServerEntry> all;
  if (!ReadFile(userDataDir, serversDir, all)) return false;
  for (const TNewsServerEntry& e : all) {
    // A name that cannot be a directory must never reach the file system.
    if (!IsValidServerName(e.Name())) {
      LogWarning(u"Skipping a news server with an unusable name: \""_s + e.Name() + u'"');
      continue;
    }
    if (!serversDir.isEmpty()) QDir().mkpath(ServerDirectory(serversDir, e.Name()) + u"_Favorites/"_s);
    fEntries << e;
  }
  return true;
}

bool TNewsServerList::Get(const QString& name, TNewsServerEntry& out) const {
  const int i = IndexOf(name);
  if (i < 0) return false;
  out = fEntries[i];
  return true;
}

int TNewsServerList::IndexOf(const QString& name) const {
  if (fEntries.isEmpty()) return -1;
  if (name.isEmpty()) return 0;
  for (int i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].NameEquals(name)) return i;
  return -1;
}

bool TNewsServerList::SaveAll(const QString& userDataDir, const QList<TNewsServerEntry>& entries,
                              TRewriteFailure* failure) {
  LOG_METHOD("SaveNewsServers");
  if (!SafeRewriteRecordFile(FilePath(userDataDir), Serialize(entries), kOwnerOnly, failure)) return false;
  fEntries.clear();
  for (const TNewsServerEntry& e : entries)
    if (IsValidServerName(e.Name())) fEntries << e;
  return true;
}

void TNewsServerList::SetServerCheckDate(const QString& userDataDir, const QString& name, double date) {
  LOG_METHOD("SetServerCheckDate");
  const int i = IndexOf(name);
  if (i >= 0 && !name.isEmpty()) fEntries[i].lastCheckDate = date;
  const QString path = FindFileNoCase(userDataDir, QLatin1String(kFileName));
  QFile file(path);
  if (!QFileInfo::exists(path) || !file.open(QIODevice::ReadWrite)) return;
  const qint64 count = file.size() / TNewsServerEntry::kRecordSize;
  for (qint64 r = 0; r < count; ++r) {
    if (!file.seek(r * TNewsServerEntry::kRecordSize)) return;
    TNewsServerEntry e = TNewsServerEntry::FromRecord(file.read(TNewsServerEntry::kRecordSize));
    if (!e.NameEquals(name)) continue;
    // Only the eight bytes of the date change; the rest of the record stays as stored.
    e.lastCheckDate = date;
    const QByteArray bytes = e.ToRecord().right(8);
    if (file.seek(r * TNewsServerEntry::kRecordSize + 1032)) file.write(bytes);
    return;
  }
}

QByteArray TNewsServerList::ReadTrustedFingerprint(const QString& serverDir) {
  QFile file(serverDir + QLatin1String(kTrustedCertificateFile));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray hex = file.read(256).trimmed().toLower();
  // Only a well-formed SHA-256 in hex counts.
  if (hex.size() != 64) return {};
  for (char c : hex)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  return hex;
}

bool TNewsServerList::WriteTrustedFingerprint(const QString& serverDir, const QByteArray& fingerprint) {
  const QString path = serverDir + QLatin1String(kTrustedCertificateFile);
  if (fingerprint.isEmpty()) return !QFileInfo::exists(path) || QFile::remove(path);
  QDir().mkpath(serverDir);
  return WriteFileAtomic(path, fingerprint.toLower() + '\n');
}

RETURN_CODES AppendNewsServerRecord(const QString& userDataDir, const QString& fileName,
                                    const TNewsServerEntry& entry) {
  LOG_METHOD("AppendNewsServerRecord");
  const QString path = FindFileNoCase(WithTrailingSlash(userDataDir), fileName);
  const bool existed = QFileInfo::exists(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite)) return RC_OPEN_FAILED;
  if (!existed) file.setPermissions(kOwnerOnly);
  // Whole records only: a torn tail from an earlier crash is overwritten.
  const qint64 end = file.size() - file.size() % TNewsServerEntry::kRecordSize;
  if (!file.seek(end)) return RC_SEEK_FAILED;
  const QByteArray record = entry.ToRecord();
  if (file.write(record) != record.size() || !file.flush()) return RC_WRITE_FAILED;
  return RC_SUCCESS;
}
