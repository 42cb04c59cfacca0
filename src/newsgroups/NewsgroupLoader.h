#pragma once

#include "newsgroups/GroupList.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// Holds one loaded group list for a view and loads it in the background, so a
// list of any size never holds up the user-interface thread. Lives on the
// thread that uses it. A load started while another runs supersedes it: only
// the latest load's result is kept.
class TNewsgroupLoader : public QObject {
  Q_OBJECT
 public:
  explicit TNewsgroupLoader(QObject* parent = nullptr);

  // Starts loading path (either file of the pair) with the highlight list.
  void Load(const QString& path, const QList<QByteArray>& boldList = {});
  bool IsLoading() const { return fLoading; }
  QString Path() const { return fPath; }
  // The list last loaded (empty when it failed or none was loaded).
  std::shared_ptr<const TGroupList> List() const { return fList; }
  // Takes the list over; the loader holds an empty one afterwards.
  std::shared_ptr<TGroupList> TakeList();
  bool LastLoadSucceeded() const { return fOk; }

 signals:
  void LoadStarted(const QString& path);
  // The list is in List(); ok is false when the files could not be loaded.
  void Loaded(bool ok);

 private:
  std::shared_ptr<TGroupList> fList;
  QString fPath;
  quint64 fGeneration = 0;
  bool fLoading = false;
  bool fOk = false;
};
