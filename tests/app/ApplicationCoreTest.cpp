#include "app/ActionTracker.h"
#include "app/AppPaths.h"
#include "app/ApplicationCore.h"
#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

class ApplicationCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(GetMyDocumentsDirectory() + u"Korvel.ini"_s);
    Settings() = TSettings();
    Paths() = TAppPaths();
    data = WithoutTrailingSlash(dir.Path()) + u"/data"_s;
  }
  void TearDown() override { QFile::remove(GetMyDocumentsDirectory() + u"Korvel.ini"_s); }
  TTempDir dir;
  QString data;
};

TEST_F(ApplicationCoreTest, InitializeEmptiesScratchFolders) {
  QDir().mkpath(data);
  ASSERT_TRUE(StoreUserDataDirectory(data));
  dir.Write(u"data/_Temp/old.tmp"_s, "x"_ba);
  dir.Write(u"data/_Temp/sub/keep.tmp"_s, "x"_ba);
  dir.Write(u"data/_Mime/part.bin"_s, "x"_ba);
  dir.Write(u"data/_Mime/.hidden"_s, "x"_ba);
  ASSERT_TRUE(TApplicationCore::Instance().Initialize());
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"data/_Temp/old.tmp"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"data/_Temp/sub/keep.tmp"_s)));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"data/_Mime/part.bin"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"data/_Mime/.hidden"_s)));
  EXPECT_TRUE(QFileInfo::exists(dir.File(u"data/_AutoShowList.txt"_s)));
}

TEST_F(ApplicationCoreTest, CancelledSetupLeavesNoSettingsBehind) {
  // "Korvel.ini" names an existing directory that has no settings yet.
  QDir().mkpath(data);
  ASSERT_TRUE(StoreUserDataDirectory(data));
  QString errorText;
  ASSERT_TRUE(TApplicationCore::Instance().CreateApplicationObjects(errorText));
  bool firstRun = true;
  bool asked = false;
  EXPECT_FALSE(TApplicationCore::Instance().CheckSettings(firstRun, [&] {
    asked = true;
    return false;
  }));
  EXPECT_TRUE(asked);
  EXPECT_FALSE(firstRun);
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"data/_Settings.ini"_s)));
  // So the next start asks again.
  EXPECT_FALSE(TApplicationCore::Instance().CheckSettings(firstRun, [&] { return false; }));
}

TEST_F(ApplicationCoreTest, FinishedSetupIsAFirstRun) {
  QString errorText;
  ASSERT_TRUE(TApplicationCore::Instance().CreateApplicationObjects(errorText));
  bool firstRun = false;
  ASSERT_TRUE(TApplicationCore::Instance().CheckSettings(firstRun, [&] {
    QDir().mkpath(data);
    ReadConfigs(QString(), true);
    return WriteConfigs(data) && StoreUserDataDirectory(data);
  }));
  EXPECT_TRUE(firstRun);
  EXPECT_EQ(Paths().userDataDir, data + u'/');
  EXPECT_EQ(TIniFile(data + u"/_Settings.ini"_s).ReadString(u"Application"_s, u"Name"_s), u"Korvel"_s);

  // The next start finds the settings and does not ask.
  ASSERT_TRUE(TApplicationCore::Instance().CreateApplicationObjects(errorText));
  ASSERT_TRUE(TApplicationCore::Instance().CheckSettings(firstRun, [] {
    ADD_FAILURE() << "setup shown again";
    return false;
  }));
  EXPECT_FALSE(firstRun);
}

TEST_F(ApplicationCoreTest, CommandLineSwitchIgnoresCase) {
  ASSERT_TRUE(StoreUserDataDirectory(data));
  EXPECT_FALSE(TApplicationCore::HandleCommandLine({u"korvel"_s, u"file.nzb"_s, u"-forcesetupx"_s}));
  EXPECT_TRUE(QFileInfo::exists(GetMyDocumentsDirectory() + u"Korvel.ini"_s));
  EXPECT_TRUE(TApplicationCore::HandleCommandLine({u"korvel"_s, u"-FORCESETUP"_s}));
  EXPECT_FALSE(QFileInfo::exists(GetMyDocumentsDirectory() + u"Korvel.ini"_s));
}

TEST_F(ApplicationCoreTest, MessageCacheIsEmptiedOnExitOnlyWhenAsked) {
  QDir().mkpath(data);
  ASSERT_TRUE(StoreUserDataDirectory(data));
  for (bool clear : {false, true}) {
    QString errorText;
    ASSERT_TRUE(TApplicationCore::Instance().CreateApplicationObjects(errorText));
    ASSERT_TRUE(TApplicationCore::Instance().Initialize());
    const QString cached = dir.Write(u"data/_Usenet/_MessageStore/_Messages/Msg_a.txt"_s, "x"_ba);
    Settings().ClearNewsCacheOnExit = clear;
    TApplicationCore::Instance().Trail().Record(42);
    TApplicationCore::Instance().CleanUp();
    EXPECT_EQ(QFileInfo::exists(cached), !clear);
    EXPECT_TRUE(QFileInfo::exists(TApplicationCore::TrailFilePath()));
  }
}
