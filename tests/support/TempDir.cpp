#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

TTempDir::TTempDir() : fDir(QDir::tempPath() + u"/korvel-XXXXXX"_s) {}

QString TTempDir::Path() const { return fDir.path() + u'/'; }

QString TTempDir::Write(const QString& name, const QByteArray& data) const {
  const QString path = File(name);
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(data);
  return path;
}

QByteArray TTempDir::Read(const QString& name) const {
  QFile file(File(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifndef KORVEL_TEST_DATA_DIR
#define KORVEL_TEST_DATA_DIR ""
#endif

QString TestDataPath(const QString& relative) {
  const QByteArray env = qgetenv("KORVEL_TEST_DATA_DIR");
  const QString base = env.isEmpty() ? QString::fromUtf8(KORVEL_TEST_DATA_DIR) : QString::fromLocal8Bit(env);
  return base + u'/' + relative;
}
