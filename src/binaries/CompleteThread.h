#pragma once

#include "binaries/DownloadWorker.h"

// Notices when every selected article of a post is stored and hands the post
// to the decode thread.
class TCompleteThread : public TDownloadWorker {
 public:
  explicit TCompleteThread(TDownloadContext& context)
      : TDownloadWorker(context, context.completeQueue, context.completeBusy) {}

 protected:
  void Process(TNewsMessage* message) override;
};
