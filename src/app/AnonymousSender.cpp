#include "app/AnonymousSender.h"

#include "app/LineListFile.h"
#include "app/Settings.h"
#include "app/Wildcard.h"

using namespace Qt::StringLiterals;

QString TSenderAddress::FromText() const {
  if (name.isEmpty()) return address;
  return name + u" <"_s + address + u'>';
}

TSenderAddress AnonymousSender() {
  return {QStringLiteral("Anonymous"), QStringLiteral("anonymous@anonymous.invalid")};
}

QString ChooseSender(const QString& newsgroups, const TSenderAddress& identity, const QString& anonymousListPath) {
  const TSettings& s = Settings();
  const QString anonymous = AnonymousSender().FromText();
  if (newsgroups.isEmpty()) return identity.FromText();
  if (s.AlwaysAnonymous) return anonymous;
  const QString lowered = newsgroups.toLower();
  if (s.BinariesAnonymous && lowered.contains(u"alt."_s) && lowered.contains(u".bina"_s)) return anonymous;
  if (!s.AnonymousPosting) return identity.FromText();
  QList<QByteArray> lines;
  switch (TLineListFile::Load(anonymousListPath, lines)) {
    case TLineListFile::LOAD_MISSING:
      return identity.FromText();
    case TLineListFile::LOAD_FAILED:
      return anonymous;
    case TLineListFile::LOAD_OK:
      break;
  }
  for (const QString& group : newsgroups.split(u',')) {
    const QString name = group.trimmed().toLower();
    if (name.isEmpty()) continue;
    for (const QByteArray& line : lines) {
      if (MatchWildcard(QString::fromUtf8(line).toLower(), name)) return anonymous;
    }
  }
  return identity.FromText();
}
