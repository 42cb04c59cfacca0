#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The main window's NZB import: one file or several, each into its own
// download list in the download lists directory, with a progress window and
// the import's messages. Lists that were created go to the opener.
class TNzbImportCommand {
 public:
  using TListOpener = std::function<void(const QString& cuePath)>;

  // Answers the download lists created, in the order of nzbPaths.
  static QStringList ImportFiles(QWidget* parent, const QStringList& nzbPaths, const TListOpener& open);

 private:
  static bool ImportOne(QWidget* parent, const QString& nzbPath, QString& cuePath, QString& errorText,
                        bool ownProgress);
};
