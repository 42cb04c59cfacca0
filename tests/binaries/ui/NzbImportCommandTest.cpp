// The main window's NZB import: one file or several into download lists, the
// messages on failure, the question before opening many lists, and the NZB's
// folder remembered.
#include "shell/ShellTestSupport.h"

#include "app/AppPaths.h"
#include "app/Settings.h"
#include "binaries/ui/NzbImportCommand.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

using namespace Qt::StringLiterals;

class TNzbImportCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void importsTable_data();
  void importsTable();
  void manyListsAskBeforeOpening();
  void nameThatTriesToLeaveTheListsDirectory();

 private:
  // Copies a sample NZB into the test folder under the given name.
  QString Sample(const QString& sample, const QString& name) const;

  std::unique_ptr<TTempDir> fDir;
  std::unique_ptr<TFakePrompt> fPrompt;
};

void TNzbImportCommandTest::init() {
  fDir = std::make_unique<TTempDir>();
  fPrompt = std::make_unique<TFakePrompt>();
  Settings() = TSettings();
  SetPaths(fDir->Path() + u"data/"_s);
  CreateDirectories();
  QDir().mkpath(fDir->Path() + u"in/"_s);
}

void TNzbImportCommandTest::cleanup() {
  fPrompt.reset();
  fDir.reset();
}

QString TNzbImportCommandTest::Sample(const QString& sample, const QString& name) const {
  const QString target = fDir->Path() + u"in/"_s + name;
  QFile::remove(target);
  if (!QFile::copy(TestDataPath(u"binaries/nzb/"_s + sample), target)) qFatal("cannot copy a sample NZB");
  return target;
}

void TNzbImportCommandTest::importsTable_data() {
  QTest::addColumn<QStringList>("samples");  // sample file names; each imported as "<n>.nzb"
  QTest::addColumn<QStringList>("created");  // list names expected, in order
  QTest::addColumn<QStringList>("prompts");
  QTest::newRow("one good file") << QStringList{u"plain.nzb"_s} << QStringList{u"1"_s} << QStringList{};
  QTest::newRow("one malformed file") << QStringList{u"malformed_files.nzb"_s} << QStringList{}
                                      << QStringList{u"error: Importing the NZB file failed."_s};
  QTest::newRow("several, one failing") << QStringList{u"plain.nzb"_s, u"malformed_segments.nzb"_s, u"sabnzbd.nzb"_s}
                                        << QStringList{u"1"_s, u"3"_s}
                                        << QStringList{u"error: Some files could not be imported."_s};
}

void TNzbImportCommandTest::importsTable() {
  QFETCH(QStringList, samples);
  QFETCH(QStringList, created);
  QFETCH(QStringList, prompts);
  QStringList paths;
  for (int i = 0; i < samples.size(); ++i) paths.append(Sample(samples.at(i), QString::number(i + 1) + u".nzb"_s));

  QStringList opened;
  const QStringList result =
      TNzbImportCommand::ImportFiles(nullptr, paths, [&](const QString& cue) { opened.append(cue); });

  QStringList expected;
  for (const QString& name : created) expected.append(Paths().downloadListsDir + name + u".cue"_s);
  QCOMPARE(result, expected);
  QCOMPARE(opened, expected);
  for (const QString& cue : expected) {
    QVERIFY(QFileInfo(cue).size() > 0);
    QVERIFY(QFileInfo::exists(cue.chopped(4) + u".body"_s));
  }
  // A file that failed leaves no list behind.
  QCOMPARE(QDir(Paths().downloadListsDir).entryList({u"*.cue"_s}, QDir::Files).size(), created.size());
  // Only the first line of an error is fixed; a detail may follow it.
  QStringList log = fPrompt->Log();
  for (QString& line : log) line = line.section(u'\n', 0, 0);
  QCOMPARE(log, prompts);
  QCOMPARE(Settings().gOpenNZBPath, fDir->Path() + u"in/"_s);
}

void TNzbImportCommandTest::manyListsAskBeforeOpening() {
  QStringList paths;
  for (int i = 1; i <= 6; ++i) paths.append(Sample(u"plain.nzb"_s, u"list"_s + QString::number(i) + u".nzb"_s));
  for (const auto answer : {TUserPrompt::ANSWER_NO, TUserPrompt::ANSWER_CANCEL}) {
    fPrompt->calls.clear();
    fPrompt->questionAnswer = answer;
    int opened = 0;
    const QStringList result = TNzbImportCommand::ImportFiles(nullptr, paths, [&](const QString&) { ++opened; });
    QCOMPARE(result.size(), 6);
    QCOMPARE(fPrompt->Log(),
             QStringList{u"question: 6 files were successfully imported. Would you like to open all of them?"_s});
    // Anything but No opens them.
    QCOMPARE(opened, answer == TUserPrompt::ANSWER_NO ? 0 : 6);
  }
}

void TNzbImportCommandTest::nameThatTriesToLeaveTheListsDirectory() {
  const QString path = Sample(u"plain.nzb"_s, u"...nzb"_s);
  const QStringList result = TNzbImportCommand::ImportFiles(nullptr, {path}, nullptr);
  QCOMPARE(result.size(), 1);
  QCOMPARE(QFileInfo(result.first()).absolutePath() + u'/', Paths().downloadListsDir);
  QVERIFY(QFileInfo(result.first()).size() > 0);
}

KORVEL_QTEST_MAIN(TNzbImportCommandTest)
#include "NzbImportCommandTest.moc"
