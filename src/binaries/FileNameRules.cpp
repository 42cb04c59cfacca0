#include "binaries/FileNameRules.h"

#include <QFile>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

bool IsControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }

// Cuts text to maxBytes of UTF-8 on a character boundary.
QString CutUtf8(const QString& text, int maxBytes) {
  if (maxBytes <= 0) return {};
  QString out = text;
  if (out.size() > maxBytes) out.truncate(maxBytes);
  while (!out.isEmpty() && out.toUtf8().size() > maxBytes) {
    out.chop(1);
    if (!out.isEmpty() && out.back().isHighSurrogate()) out.chop(1);
  }
  return out;
}

}  // namespace

QString FitFileName(const QString& name, int maxBytes) {
  if (name.toUtf8().size() <= maxBytes) return name;
  const qsizetype dot = name.lastIndexOf(u'.');
  QString extension = dot > 0 ? name.mid(dot) : QString();
  if (extension.toUtf8().size() > 32) extension.clear();
  const QString base = extension.isEmpty() ? name : name.left(dot);
  return CutUtf8(base, maxBytes - static_cast<int>(extension.toUtf8().size())) + extension;
}

QString CleanFileName(const QString& name) {
  QString out = name;
  if (out.startsWith(u'"')) out.remove(0, 1);
  if (out.endsWith(u'"')) out.chop(1);
  for (QChar& c : out) {
    switch (c.unicode()) {
      case '"':
      case '$':
      case '*':
      case '/':
      case ':':
      case '<':
      case '>':
      case '?':
      case '\\':
        c = u'-';
        break;
      default:
        // Control characters would make names that terminals and file
        // managers show wrongly or not at all.
        if (IsControl(c)) c = u'-';
        break;
    }
  }
  out = FitFileName(out, kMaxFileNameBytes);
  if (out.isEmpty() || out == u"."_s || out == u".."_s) return u"_"_s;
  return out;
}

bool IsValidFileName(const QString& name) {
  if (name.isEmpty() || name == u"."_s || name == u".."_s) return false;
  for (QChar c : name)
    if (c == u'/' || c == u':' || c == u'?' || c == u'\\' || IsControl(c)) return false;
  return true;
}

bool PathEntryExists(const QString& path) {
  struct stat st;
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString UniqueFileName(const QString& directory, const QString& name, bool overwrite, qint64* next) {
  if (overwrite || !PathEntryExists(directory + name)) return name;
  qsizetype dot = name.lastIndexOf(u'.');
  if (dot >= 0 && name.mid(dot).toUtf8().size() > 32) dot = -1;  // too long to keep whole: number the end
  const QString extension = dot >= 0 ? name.mid(dot) : QString();
  const QString base = dot >= 0 ? name.left(dot) : name;
  for (qint64 n = next ? std::max<qint64>(*next, 1) : 1;; ++n) {
    const QString suffix = u"_"_s + QString::number(n) + extension;
    const QString candidate = CutUtf8(base, kMaxFileNameBytes - static_cast<int>(suffix.toUtf8().size())) + suffix;
    if (!PathEntryExists(directory + candidate)) {
      if (next) *next = n + 1;
      return candidate;
    }
  }
}
