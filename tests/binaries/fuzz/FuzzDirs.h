#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// A private directory per fuzz process with "in/" for articles and "out/" as
// the destination. After each input the whole tree is checked: anything
// outside those two folders, or any link, means a decoder escaped its
// destination, which the fuzzer must see as a crash.
class TFuzzDirs {
 public:
  TFuzzDirs() : fRoot(QDir::tempPath() + QStringLiteral("/korvel-fuzz-XXXXXX")) {
    QDir().mkpath(In());
    QDir().mkpath(Out());
    QDir().mkpath(Work());
  }
  QString In() const { return fRoot.path() + QStringLiteral("/in/"); }
  QString Out() const { return fRoot.path() + QStringLiteral("/out/"); }
  QString Work() const { return fRoot.path() + QStringLiteral("/work/"); }

  QString WriteInput(int index, const char* data, qsizetype size) const {
    const QString path = In() + QString::number(index);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data, size) != size) std::abort();
    return path;
  }

  void CheckAndClear() const {
    const QStringList top =
        QDir(fRoot.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (top != QStringList{QStringLiteral("in"), QStringLiteral("out"), QStringLiteral("work")}) {
      std::fprintf(stderr, "a decoder wrote outside its directories\n");
      std::abort();
    }
    for (const QString& dir : {Out(), Work()}) {
      QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
      while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink() || info.isDir()) {
          std::fprintf(stderr, "unexpected entry %s\n", qPrintable(info.filePath()));
          std::abort();
        }
        QFile::remove(info.filePath());
      }
    }
    QDir in(In());
    for (const QString& name : in.entryList(QDir::Files)) in.remove(name);
  }

 private:
  QTemporaryDir fRoot;
};
