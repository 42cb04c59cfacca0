#include "newsgroups/NewsgroupLoader.h"

#include "newsgroups/NewsgroupdLoaderThread.h"

TNewsgroupLoader::TNewsgroupLoader(QObject* parent) : QObject(parent), fList(std::make_shared<TGroupList>()) {}

void TNewsgroupLoader::Load(const QString& path, const QList<QByteArray>& boldList) {
  const quint64 generation = ++fGeneration;
  fPath = path;
  fLoading = true;
  auto* thread = new TNewsgroupdLoaderThread(path, boldList);
  connect(thread, &TNewsgroupdLoaderThread::LoadStarting, this, [this, generation](const QString& p) {
    if (generation == fGeneration) emit LoadStarted(p);
  });
  connect(thread, &TNewsgroupdLoaderThread::LoadFinished, this,
          [this, generation](std::shared_ptr<TGroupList> list, bool ok) {
            if (generation != fGeneration) return;  // a later load replaced this one
            fList = list ? std::move(list) : std::make_shared<TGroupList>();
            fOk = ok;
            fLoading = false;
            emit Loaded(ok);
          });
  thread->start();
}

std::shared_ptr<TGroupList> TNewsgroupLoader::TakeList() {
  auto list = std::move(fList);
  fList = std::make_shared<TGroupList>();
  return list;
}
