#include "app/Logger.h"

#include <QDateTime>
#include <QFile>
#include <QThread>

#include <vector>

using namespace Qt::StringLiterals;

namespace {
thread_local std::vector<const char*> tScopeStack;
}  // namespace

TLogger& TLogger::Instance() {
  static TLogger logger;
  return logger;
}

void TLogger::SetFile(const QString& path) {
  std::lock_guard lock(fMutex);
  if (fFile) {
    std::fclose(fFile);
    fFile = nullptr;
  }
  fPath = path;
  fEchoToStderr = qEnvironmentVariableIsSet("KORVEL_LOG_STDERR");
  if (path.isEmpty()) return;
  QFile::remove(path);
  fFile = std::fopen(QFile::encodeName(path).constData(), "ab");
}

QString TLogger::FilePath() const {
  std::lock_guard lock(fMutex);
  return fPath;
}

void TLogger::SetLogLevel(int level) {
  if (level < 0) level = 0;
  if (level > LEVEL_DEBUG) level = LEVEL_DEBUG;
  fLevel.store(level);
}

void TLogger::ResetCounters() {
  fErrors.store(0);
  fWarnings.store(0);
}

QString TLogger::CallStack() {
  QString out;
  for (const char* name : tScopeStack) {
    if (!out.isEmpty()) out += u" > "_s;
    out += QString::fromLatin1(name);
  }
  return out.isEmpty() ? QStringLiteral("(no scope)") : out;
}

void TLogger::Write(const char* tag, const QString& text, int depth) {
  std::lock_guard lock(fMutex);
  if (!fFile && !fEchoToStderr) return;
  QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
  line += ' ';
  line += QByteArray::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16).right(6);
  line += ' ';
  line += tag;
  line += ' ';
  line += QByteArray(depth * 2, ' ');
  line += text.toUtf8();
  line += '\n';
  if (fFile) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), fFile);
    // Each line reaches the disk at once, so the log survives a crash.
    std::fflush(fFile);
  }
  if (fEchoToStderr) std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

void TLogger::Error(const QString& text) {
  fErrors.fetch_add(1);
  if (!IsEnabled(LEVEL_ERROR)) return;
  Write("ERROR  ", text + u"  [call stack: "_s + CallStack() + u']', static_cast<int>(tScopeStack.size()));
}

void TLogger::Warning(const QString& text) {
  fWarnings.fetch_add(1);
  if (!IsEnabled(LEVEL_WARNING)) return;
  Write("WARNING", text, static_cast<int>(tScopeStack.size()));
}

void TLogger::Message(const QString& text) {
  if (!IsEnabled(LEVEL_VERBOSE)) return;
  Write("MESSAGE", text, static_cast<int>(tScopeStack.size()));
}

void TLogger::Debug(const QString& text) {
  if (!IsEnabled(LEVEL_DEBUG)) return;
  Write("DEBUG  ", text, static_cast<int>(tScopeStack.size()));
}

void TLogger::EnterMethod(const char* name) {
  if (IsEnabled(LEVEL_VERBOSE))
    Write("ENTER  ", QString::fromLatin1(name), static_cast<int>(tScopeStack.size()));
  tScopeStack.push_back(name);
}

void TLogger::LeaveMethod(const char* name) {
  if (!tScopeStack.empty()) tScopeStack.pop_back();
  if (IsEnabled(LEVEL_VERBOSE))
    Write("LEAVE  ", QString::fromLatin1(name), static_cast<int>(tScopeStack.size()));
}

void TLogger::Separator() {
  Write("-------", QStringLiteral("----------------------------------------"), 0);
}

TLogScope::TLogScope(const char* name) : fName(name) { TLogger::Instance().EnterMethod(name); }
TLogScope::~TLogScope() { TLogger::Instance().LeaveMethod(fName); }

void LogError(const QString& text) { TLogger::Instance().Error(text); }
void LogError(const char* text) { TLogger::Instance().Error(QString::fromUtf8(text)); }
void LogWarning(const QString& text) { TLogger::Instance().Warning(text); }
void LogWarning(const char* text) { TLogger::Instance().Warning(QString::fromUtf8(text)); }
void LogMessage(const QString& text) { TLogger::Instance().Message(text); }
void LogMessage(const char* text) { TLogger::Instance().Message(QString::fromUtf8(text)); }
void LogDebug(const QString& text) { TLogger::Instance().Debug(text); }
void LogDebug(const char* text) { TLogger::Instance().Debug(QString::fromUtf8(text)); }
