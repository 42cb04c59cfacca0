#pragma once

#include "binaries/DownloadWorker.h"

// Stores every received article as its "Msg_" file in the decode directory
// (checking it first when the list asks for it) and keeps the statistics.
class TCheckThread : public TDownloadWorker {
 public:
  explicit TCheckThread(TDownloadContext& context)
      : TDownloadWorker(context, context.checkQueue, context.checkBusy) {}

  // Writes data to path through a temporary name, so a crash never leaves a
  // part of an article under the name that says it is whole.
  static bool StoreArticle(const QString& path, QByteArrayView data, QString* error = nullptr);

 protected:
  void Process(TNewsMessage* message) override;
  void Ending() override;
};
