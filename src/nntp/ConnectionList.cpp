#include "nntp/ConnectionList.h"

#include "app/FileUtils.h"
#include "app/LineListFile.h"
#include "app/Logger.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const TNewsServerEntry* FindServer(const QList<TNewsServerEntry>& servers, const QString& name) {
  for (const TNewsServerEntry& s : servers)
    if (s.NameEquals(name)) return &s;
  return nullptr;
}
}  // namespace

QStringList TConnectionList::ReadLines(const QString& path) {
  QList<QByteArray> raw;
  QStringList out;
  if (TLineListFile::Load(path, raw) != TLineListFile::LOAD_OK) return out;
  for (const QByteArray& bytes : raw) {
    const QString line = DisplayText(bytes).trimmed();
    if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u"//"_s)) continue;
    out << line;
  }
  return out;
}

bool TConnectionList::Write(const QString& path, const QStringList& names) {
  if (names.isEmpty()) return !QFileInfo::exists(path) || QFile::remove(path);
  QList<QByteArray> lines;
  for (const QString& n : names) lines << n.toUtf8();
  return TLineListFile::Save(path, lines);
}

QString TConnectionList::DefaultPath(const QString& userDataDir) {
  return FindFileNoCase(WithTrailingSlash(userDataDir), QLatin1String(kDefaultFileName));
}

bool TConnectionList::WriteDefault(const QString& userDataDir, int count, const QString& serverName) {
  QStringList names;
  for (int i = 0; i < count; ++i) names << serverName;
  return Write(DefaultPath(userDataDir), names);
}

QString TConnectionList::ListPathFor(const QString& downloadListPath) {
  const QFileInfo info(downloadListPath);
  return WithTrailingSlash(info.path()) + info.completeBaseName() + u".srv"_s;
}

bool TConnectionList::Load(const QString& downloadListPath, const QString& userDataDir,
                           const QList<TNewsServerEntry>& servers, bool unlimited, QList<TConnectionServer>& out,
                           QString& errorText) {
  LOG_METHOD("LoadConnectionList");
  out.clear();
  QString path = downloadListPath.isEmpty() ? QString() : ListPathFor(downloadListPath);
  if (path.isEmpty() || !QFileInfo::exists(path)) {
    path = DefaultPath(userDataDir);
    if (!QFileInfo::exists(path)) {
      if (servers.isEmpty()) {
        errorText = u"There are no NNTP servers defined."_s;
        return false;
      }
      if (!WriteDefault(userDataDir, 1, servers.first().Name())) {
        errorText =
            u"There was an error creating the list of default connection. This list is required; decoding cancelled."_s;
        return false;
      }
      if (!QFileInfo::exists(path)) {
        errorText = u"A list of connection must be defined in order to decode files. Decoding is cancelled."_s;
        return false;
      }
    }
  }

  QList<QByteArray> raw;
  if (TLineListFile::Load(path, raw) == TLineListFile::LOAD_FAILED) {
    // Unreadable is not empty: the list must survive for the next attempt.
    LogError(u"Cannot read the connection list "_s + path);
    errorText.clear();
    return false;
  }
  QStringList lines;
  for (const QByteArray& bytes : raw) {
    const QString line = DisplayText(bytes).trimmed();
    if (!line.isEmpty() && FindServer(servers, line)) lines << line;
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });

  if (lines.isEmpty()) {
    // With no server at all there is nothing to fall back to; keep the file.
    if (servers.isEmpty()) {
      errorText = u"There are no NNTP servers defined."_s;
      return false;
    }
    LogWarning(u"The connection list "_s + path + u" names no defined server; using the first server"_s);
    QFile::remove(path);
    out << TConnectionServer{servers.first(), 1, unlimited};
    return true;
  }

  for (qsizetype i = 0; i < lines.size();) {
    qsizetype j = i + 1;
    while (j < lines.size() && lines[j].compare(lines[i], Qt::CaseInsensitive) == 0) ++j;
    out << TConnectionServer{*FindServer(servers, lines[i]), static_cast<int>(j - i), unlimited};
    i = j;
  }
  return true;
}
