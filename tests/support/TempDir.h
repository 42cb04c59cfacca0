#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary directory for one test, removed afterwards; Path() ends with "/".
class TTempDir {
 public:
  TTempDir();
  QString Path() const;
  // Path() + name.
  QString File(const QString& name) const { return Path() + name; }
  // Writes bytes to Path() + name (creating folders) and returns the path.
  QString Write(const QString& name, const QByteArray& data) const;
  QByteArray Read(const QString& name) const;

 private:
  QTemporaryDir fDir;
};

// The path of a file of tests/data.
QString TestDataPath(const QString& relative);
