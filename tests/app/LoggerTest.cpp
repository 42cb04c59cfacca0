#include "app/Logger.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
void Inner() {
  LOG_METHOD("Inner");
  LogError("disk full");
}
void Outer() {
  LOG_METHOD("Outer");
  Inner();
}
}  // namespace

TEST(Logger, ScopesLevelsCountsAndCallStacks) {
  TTempDir dir;
  const QString path = dir.Write(u"x_errorlog.sil"_s, "stale content\n"_ba);
  TLogger& log = TLogger::Instance();
  log.SetFile(path);  // an existing file is deleted first
  log.ResetCounters();
  log.SetLogLevel(2);
  Outer();
  LogWarning("careful");
  LogDebug("hidden at level 2");

  log.SetLogLevel(0);  // off: nothing written, still counted
  LogError("silent error");
  LogMessage("silent message");

  log.SetLogLevel(1);
  LogMessage("hidden at level 1");
  LogWarning("shown at level 1");
  log.SetFile(QString());

  EXPECT_EQ(log.ErrorCount(), 2);
  EXPECT_EQ(log.WarningCount(), 2);
  const QByteArray text = dir.Read(u"x_errorlog.sil"_s);
  EXPECT_FALSE(text.contains("stale content"));
  EXPECT_TRUE(text.contains("ENTER   Outer"));
  EXPECT_TRUE(text.contains("LEAVE     Inner"));
  EXPECT_TRUE(text.contains("disk full  [call stack: Outer > Inner]"));
  EXPECT_TRUE(text.contains("careful"));
  EXPECT_FALSE(text.contains("hidden at level"));
  EXPECT_FALSE(text.contains("silent"));
  EXPECT_TRUE(text.contains("shown at level 1"));
  log.SetLogLevel(2);
}
