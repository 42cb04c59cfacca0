#include "newsgroups/NewsgroupdLoaderThread.h"

#include "app/Logger.h"

TNewsgroupdLoaderThread::TNewsgroupdLoaderThread(const QString& path, const QList<QByteArray>& boldList,
                                                 QObject* parent)
    : QThread(parent), fPath(path), fBoldList(boldList) {
  connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TNewsgroupdLoaderThread::run() {
  LOG_METHOD("TNewsgroupdLoaderThread.Execute");
  emit LoadStarting(fPath);
  auto list = std::make_shared<TGroupList>();
  const bool ok = list->Load(fPath, fBoldList);
  emit LoadFinished(std::move(list), ok);
}
