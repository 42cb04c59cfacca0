#pragma once

#include "newsgroups/GroupList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>

#include <memory>

// Loads one group list pair on a background thread and hands the result over
// as a whole; the thread deletes itself once it has ended. The owner connects
// to the signals before start(): LoadStarting tells it that the load begins,
// LoadFinished brings the list (empty when the files could not be loaded).
class TNewsgroupdLoaderThread : public QThread {
  Q_OBJECT
 public:
  TNewsgroupdLoaderThread(const QString& path, const QList<QByteArray>& boldList, QObject* parent = nullptr);

 signals:
  void LoadStarting(const QString& path);
  void LoadFinished(std::shared_ptr<TGroupList> list, bool ok);

 protected:
  void run() override;

 private:
  QString fPath;
  QList<QByteArray> fBoldList;
};
