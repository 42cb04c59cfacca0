#include "binaries/ui/NzbImportCommand.h"

#include "app/AppPaths.h"
#include "app/FileUtils.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/UserPrompt.h"
#include "binaries/ImportNzb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString ImportingCaption(const QString& nzbPath) {
  return u"Importing NZB file \""_s + QFileInfo(nzbPath).fileName() + u"\"..."_s;
}

// Progress of a long import: the window appears only when the work takes a
// while, and repaints at most every 100 ms.
class TImportProgress {
 public:
  TImportProgress(QWidget* parent, const QString& caption, int maximum)
      : fDialog(caption, QString(), 0, maximum, parent) {
    fDialog.setWindowTitle(u"Import NZB file"_s);
    fDialog.setWindowModality(Qt::WindowModal);
    fDialog.setCancelButton(nullptr);
    fDialog.setMinimumDuration(300);
    fDialog.setAutoClose(false);
    fDialog.setAutoReset(false);
    fClock.start();
  }
  ~TImportProgress() { fDialog.close(); }

  void SetCaption(const QString& caption) { fDialog.setLabelText(caption); }
  void SetValue(int value, bool force = false) {
    if (!force && fClock.elapsed() < 100) return;
    fClock.restart();
    fDialog.setValue(value);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QProgressDialog fDialog;
  QElapsedTimer fClock;
};

}  // namespace

bool TNzbImportCommand::ImportOne(QWidget* parent, const QString& nzbPath, QString& cuePath, QString& errorText,
                                  bool ownProgress) {
  Settings().gOpenNZBPath = WithTrailingSlash(QFileInfo(nzbPath).absolutePath());
  cuePath = TImportNZB::ListPathFor(nzbPath, Paths().downloadListsDir);
  std::unique_ptr<TImportProgress> progress;
  TImportNZB::TProgress onProgress;
  if (ownProgress) {
    progress = std::make_unique<TImportProgress>(parent, ImportingCaption(nzbPath), 1000);
    onProgress = [&progress](qint64 length, qint64 position) {
      if (length > 0) progress->SetValue(static_cast<int>(position * 1000 / length));
    };
  }
  return ImportNZBFile(nzbPath, cuePath, &errorText, onProgress);
}

QStringList TNzbImportCommand::ImportFiles(QWidget* parent, const QStringList& nzbPaths, const TListOpener& open) {
  LOG_METHOD("ImportNZBFiles");
  QStringList created;
  if (nzbPaths.isEmpty()) return created;

  if (nzbPaths.size() == 1) {
    QString cuePath, errorText;
    if (!ImportOne(parent, nzbPaths.first(), cuePath, errorText, true)) {
      TUserPrompt::Error(errorText.isEmpty() ? u"Importing the NZB file failed."_s
                                             : u"Importing the NZB file failed.\n\n"_s + errorText);
      return created;
    }
    created.append(cuePath);
    if (open) open(cuePath);
    return created;
  }

  bool anyFailed = false;
  {
    TImportProgress progress(parent, ImportingCaption(nzbPaths.first()), static_cast<int>(nzbPaths.size()));
    for (qsizetype i = 0; i < nzbPaths.size(); ++i) {
      const QString& nzbPath = nzbPaths.at(i);
      progress.SetCaption(ImportingCaption(nzbPath));
      progress.SetValue(static_cast<int>(i), true);
      QString cuePath, errorText;
      if (ImportOne(parent, nzbPath, cuePath, errorText, false)) {
        created.append(cuePath);
      } else {
        anyFailed = true;
        LogError(u"Importing NZB file \""_s + QFileInfo(nzbPath).fileName() + u"\" failed."_s);
      }
    }
    progress.SetValue(static_cast<int>(nzbPaths.size()), true);
  }

  // Many new tabs at once are asked for first.
  bool openAll = true;
  if (open && created.size() >= 6)
    openAll = TUserPrompt::Question(QString::asprintf("%d files were successfully imported. Would you like to open "
                                                      "all of them?",
                                                      static_cast<int>(created.size()))) != TUserPrompt::ANSWER_NO;
  if (openAll && open)
    for (const QString& cuePath : created) open(cuePath);
  if (anyFailed) TUserPrompt::Error(u"Some files could not be imported."_s);
  return created;
}
