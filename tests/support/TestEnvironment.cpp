#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
QString gHome;
}

TTestEnvironment::TTestEnvironment() {
  std::string tmpl = QDir::tempPath().toStdString() + "/korvel-test-XXXXXX";
  char* made = mkdtemp(tmpl.data());
  fRoot = QString::fromLocal8Bit(made ? made : "/tmp");
  gHome = fRoot + u"/home"_s;
  const QString runtime = fRoot + u"/runtime"_s;
  QDir().mkpath(gHome + u"/Documents"_s);
  QDir().mkpath(runtime);
  ::chmod(QFile::encodeName(runtime).constData(), 0700);
  qputenv("HOME", QFile::encodeName(gHome));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(gHome + u"/.config"_s));
  qputenv("XDG_DATA_HOME", QFile::encodeName(gHome + u"/.local/share"_s));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(gHome + u"/.cache"_s));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

TTestEnvironment::~TTestEnvironment() {
  if (!qEnvironmentVariableIsSet("KORVEL_KEEP_TEST_HOME")) QDir(fRoot).removeRecursively();
}

QString TTestEnvironment::Home() { return gHome; }
