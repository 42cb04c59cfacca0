#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/TextFormat.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings() = TSettings(); }
  void TearDown() override { Settings() = TSettings(); }
  TTempDir dir;
};

TEST_F(SettingsTest, MissingFileGivesDefaultsAndWritesOnlyANewSignature) {
  ASSERT_TRUE(ReadConfigs(dir.Path(), false));
  const TSettings& s = Settings();
  EXPECT_TRUE(s.AskTerminate);
  EXPECT_TRUE(s.BinariesAnonymous);
  EXPECT_FALSE(s.AnonymousPosting);
  EXPECT_EQ(s.HeadersLoadBufferSize, 512);
  EXPECT_EQ(s.gHeadersLoadLines, 25000);
  EXPECT_EQ(s.gGroupingSimilarityRating, 60);
  EXPECT_EQ(s.ShowHeadersType, SHOWHEADERS_SOME);
  EXPECT_EQ(s.gHeadersAutoLoadBehavior, ALB_FOCUS_SELECTIVE);
  EXPECT_EQ(s.gHeadersManager_AutoLoadThreshold, 200000);
  EXPECT_EQ(s.thousandSeparator, SystemThousandSeparator());
  EXPECT_TRUE(QRegularExpression(u"^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"_s)
                  .match(s.gFileSignature)
                  .hasMatch())
      << s.gFileSignature.toStdString();

  TIniFile written(dir.File(u"_Settings.ini"_s));
  EXPECT_EQ(written.Sections(), QStringList{u"Setup"_s});
  EXPECT_EQ(written.Keys(u"Setup"_s), QStringList{u"gFileSignature"_s});
  EXPECT_EQ(written.ReadString(u"Setup"_s, u"gFileSignature"_s), s.gFileSignature);

  // The signature is kept from then on.
  const QString signature = s.gFileSignature;
  ASSERT_TRUE(ReadConfigs(dir.Path(), false));
  EXPECT_EQ(Settings().gFileSignature, signature);
}

TEST_F(SettingsTest, NoDirectoryOrNoFlushWritesNothing) {
  ASSERT_TRUE(ReadConfigs(QString(), false));
  EXPECT_FALSE(Settings().gFileSignature.isEmpty());
  ASSERT_TRUE(ReadConfigs(dir.Path(), true));
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"_Settings.ini"_s)));
}

TEST_F(SettingsTest, ThousandSeparatorForms) {
  const QChar system = SystemThousandSeparator();
  struct Case {
    QString stored;
    QChar expected;
  };
  const Case cases[] = {
      {u"\" \""_s, u' '},    {u"."_s, u'.'}, {u"\"\""_s, system}, {u"\"'\""_s, u'\''},
      {u"\".\""_s, u'.'},    {u"\"x"_s, system},  // only the quote and one more: nothing remains
      {QString(), system},
  };
  for (const Case& c : cases) {
    dir.Write(u"_Settings.ini"_s, "[Setup]\ngThousandSeparator=" + c.stored.toUtf8() + "\ngFileSignature={X}\n");
    ASSERT_TRUE(ReadConfigs(dir.Path(), true));
    EXPECT_EQ(Settings().thousandSeparator, c.expected) << c.stored.toStdString();
    EXPECT_EQ(ThousandSeparator(), c.expected);
  }
  Settings().thousandSeparator = u' ';
  ASSERT_TRUE(WriteConfigs(dir.Path()));
  EXPECT_EQ(TIniFile(dir.File(u"_Settings.ini"_s)).ReadString(u"Setup"_s, u"gThousandSeparator"_s), u"\" \""_s);
  SetThousandSeparator(u',');
}

TEST_F(SettingsTest, EveryKeyRoundTripsThroughTheFile) {
  TSettings& s = Settings();
  s.gWarnNoSignature = false;
  s.AskTerminate = false;
  s.gShowNewsLines = false;
  s.gShowNewsDates = true;
  s.ShowNewsBoldNew = true;
  s.ShowNewsHeadersPanelPosition = 3;
  s.gLogLevel = 3;
  s.gDecodePriority = 5;
  s.gCurrentNewsgroupsOrganizerVersion = 2;
  s.DefaultNewsServer = u"news.example.org"_s;
  s.cDefaultSignature = u"Sig ünïcode"_s;
  s.ShowHeadersType = SHOWHEADERS_ALL;
  s.gHeadersAutoLoadBehavior = ALB_FOCUS_NEVER;
  s.NewsDecodePath = u"/data/Korvel Downloads"_s;
  s.gCompletedJobSortInvert = true;
  s.gLoadHeadersCountThreshold = 123;
  s.gShowNotificationWindows = false;
  s.notifications[NOTIFICATION_HEADERS_LOADED].enabled = false;
  s.notifications[NOTIFICATION_HEADERS_LOADED].duration = 0;
  s.helpMessagesEnabled = false;
  s.helpMessages[TAB_DECODER].enabled = false;
  s.subjectFormatEnabled = true;
  s.subjectFormatOptions = (1u << FO_LOWERCASE) | (1u << FO_REMOVE_NUMBERED_BRACKETS_AT_START_OF_SUBJECT);
  s.gFileSignature = u"{SIG}"_s;
  s.gRawHeadersFile = u"/tmp/raw"_s;
  ASSERT_TRUE(WriteConfigs(dir.Path()));
  const TSettings written = s;

  TIniFile ini(dir.File(u"_Settings.ini"_s));
  EXPECT_EQ(ini.ReadString(u"Application"_s, u"Name"_s), u"Korvel"_s);
  EXPECT_FALSE(ini.ValueExists(u"Setup"_s, u"gRawHeadersFile"_s));  // never written
  EXPECT_EQ(ini.ReadString(u"Setup"_s, u"ShowHeadersType"_s), u"SHOWHEADERS_ALL"_s);
  EXPECT_TRUE(ini.ValueExists(u"SubjectFormatOptions"_s, u"FO_LOWERCASE.Enabled"_s));
  EXPECT_FALSE(ini.ValueExists(u"SubjectFormatOptions"_s, u"FO_REMOVE_ALL_CAPS.Enabled"_s));
  EXPECT_EQ(ini.ReadString(u"DesktopNotificationsDefinitions"_s, u"NOTIFICATION_HEADERS_LOADED.Duration"_s), u"0"_s);
  EXPECT_EQ(ini.ReadString(u"HelpMessages"_s, u"TAB_DECODER.Enabled"_s), u"0"_s);

  s = TSettings();
  ASSERT_TRUE(ReadConfigs(dir.Path(), false));
  EXPECT_FALSE(s.gWarnNoSignature);
  EXPECT_FALSE(s.AskTerminate);
  EXPECT_FALSE(s.gShowNewsLines);
  EXPECT_TRUE(s.gShowNewsDates);
  EXPECT_TRUE(s.ShowNewsBoldNew);
  EXPECT_EQ(s.ShowNewsHeadersPanelPosition, 3);
  EXPECT_EQ(s.gLogLevel, 3);
  EXPECT_EQ(s.gDecodePriority, 5);
  EXPECT_EQ(s.gCurrentNewsgroupsOrganizerVersion, 2);
  EXPECT_EQ(s.DefaultNewsServer, written.DefaultNewsServer);
  EXPECT_EQ(s.cDefaultSignature, written.cDefaultSignature);
  EXPECT_EQ(s.ShowHeadersType, SHOWHEADERS_ALL);
  EXPECT_EQ(s.gHeadersAutoLoadBehavior, ALB_FOCUS_NEVER);
  EXPECT_EQ(s.NewsDecodePath, written.NewsDecodePath);
  EXPECT_TRUE(s.gCompletedJobSortInvert);
  EXPECT_EQ(s.gLoadHeadersCountThreshold, 123);
  EXPECT_FALSE(s.gShowNotificationWindows);
  EXPECT_FALSE(s.notifications[NOTIFICATION_HEADERS_LOADED].enabled);
  EXPECT_EQ(s.notifications[NOTIFICATION_HEADERS_LOADED].duration, 0);
  EXPECT_TRUE(s.notifications[NOTIFICATION_HEADERS_DOWNLOAD_STARTED].enabled);
  EXPECT_FALSE(s.helpMessagesEnabled);
  EXPECT_FALSE(s.helpMessages[TAB_DECODER].enabled);
  EXPECT_TRUE(s.helpMessages[WHAT_NOW].enabled);
  EXPECT_TRUE(s.subjectFormatEnabled);
  EXPECT_EQ(s.subjectFormatOptions, written.subjectFormatOptions);
  EXPECT_EQ(s.gFileSignature, u"{SIG}"_s);
  EXPECT_TRUE(s.gRawHeadersFile.isEmpty());

  // Writing what was read changes nothing in the file.
  const QByteArray before = dir.Read(u"_Settings.ini"_s);
  ASSERT_TRUE(WriteConfigs(dir.Path()));
  EXPECT_EQ(dir.Read(u"_Settings.ini"_s), before);
}

TEST_F(SettingsTest, DefaultsOfHeldValuesAndBadValues) {
  dir.Write(u"_Settings.ini"_s,
            "[setup]\nShowHeadersType=SHOWHEADERS_BOGUS\ngLogLevel=abc\ngGroupingSimilarityRating=75\n"
            "gFileSignature={X}\ngRawHeadersFile=/by/hand\n"_ba);
  Settings().AutoNewsUpdate = true;  // held value is the default of this key
  Settings().ShowNewsHeadersPanelPosition = 2;
  ASSERT_TRUE(ReadConfigs(dir.Path(), false));
  EXPECT_TRUE(Settings().AutoNewsUpdate);
  EXPECT_EQ(Settings().ShowNewsHeadersPanelPosition, 2);
  EXPECT_EQ(Settings().ShowHeadersType, SHOWHEADERS_SOME);
  EXPECT_EQ(Settings().gLogLevel, 0);
  EXPECT_EQ(Settings().gGroupingSimilarityRating, 75);
  EXPECT_EQ(Settings().gRawHeadersFile, u"/by/hand"_s);
}

TEST_F(SettingsTest, ResetConfirmationsErasesTheSectionUntilTheNextWrite) {
  Settings().gConfirmCloseDecode = false;
  Settings().AskTerminate = false;
  ASSERT_TRUE(WriteConfigs(dir.Path()));
  ASSERT_TRUE(ResetConfirmations(dir.Path()));
  EXPECT_FALSE(TIniFile(dir.File(u"_Settings.ini"_s)).SectionExists(u"Confirmation"_s));
  EXPECT_TRUE(TIniFile(dir.File(u"_Settings.ini"_s)).SectionExists(u"Setup"_s));
  EXPECT_TRUE(Settings().gConfirmCloseDecode);
  EXPECT_TRUE(Settings().AskTerminate);
  ASSERT_TRUE(WriteConfigs(dir.Path()));
  EXPECT_TRUE(TIniFile(dir.File(u"_Settings.ini"_s)).ReadBool(u"Confirmation"_s, u"AskTerminate"_s, false));
}

TEST_F(SettingsTest, UnopenableFileIsAnError) {
  QDir().mkpath(dir.File(u"_Settings.ini"_s));
  EXPECT_FALSE(ReadConfigs(dir.Path(), false));
  EXPECT_FALSE(WriteConfigs(dir.Path()));
}
