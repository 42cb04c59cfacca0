#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdio>
#include <mutex>

// The program's diagnostic log: a plain text file with method scopes,
// messages, warnings and errors (errors carry the scope stack of their thread).
//
// Levels follow the user setting gLogLevel: 0 off, 1 warnings and errors,
// 2 verbose (scopes and messages), 3 debug. Counting of warnings and errors
// happens whatever the level, so tests and the shutdown summary can read them.
class TLogger {
 public:
  enum TLevel { LEVEL_DEBUG = 3, LEVEL_VERBOSE = 2, LEVEL_WARNING = 1, LEVEL_ERROR = 1 };

  static TLogger& Instance();

  // Points the log at a file; an existing file of that name is deleted first.
  // An empty path logs nowhere (counting still happens).
  void SetFile(const QString& path);
  QString FilePath() const;
  // gLogLevel semantics; anything above 3 is treated as 3.
  void SetLogLevel(int level);
  int LogLevel() const { return fLevel.load(std::memory_order_relaxed); }
  bool IsEnabled(int messageLevel) const { return messageLevel <= LogLevel(); }

  void Error(const QString& text);
  void Warning(const QString& text);
  void Message(const QString& text);
  void Debug(const QString& text);
  void EnterMethod(const char* name);
  void LeaveMethod(const char* name);
  // A separator line that opens or closes the log of one process run.
  void Separator();

  int ErrorCount() const { return fErrors.load(); }
  int WarningCount() const { return fWarnings.load(); }
  void ResetCounters();
  // The scope names of the calling thread, outermost first, joined by " > ".
  static QString CallStack();

 private:
  TLogger() = default;
  void Write(const char* tag, const QString& text, int depth);

  mutable std::mutex fMutex;
  std::FILE* fFile = nullptr;
  QString fPath;
  bool fEchoToStderr = false;
  std::atomic<int> fLevel{LEVEL_VERBOSE};
  std::atomic<int> fErrors{0};
  std::atomic<int> fWarnings{0};
};

// Opens a method scope for the lifetime of the object; name must be a literal.
class TLogScope {
 public:
  explicit TLogScope(const char* name);
  ~TLogScope();
  TLogScope(const TLogScope&) = delete;
  TLogScope& operator=(const TLogScope&) = delete;

 private:
  const char* fName;
};

#define KORVEL_LOG_CAT2(a, b) a##b
#define KORVEL_LOG_CAT(a, b) KORVEL_LOG_CAT2(a, b)
// LOG_METHOD("ReadConfigs"); at the top of a method.
#define LOG_METHOD(name) TLogScope KORVEL_LOG_CAT(logScope_, __LINE__)(name)

void LogError(const QString& text);
void LogError(const char* text);
void LogWarning(const QString& text);
void LogWarning(const char* text);
void LogMessage(const QString& text);
void LogMessage(const char* text);
void LogDebug(const QString& text);
void LogDebug(const char* text);
