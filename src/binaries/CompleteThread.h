#pragma once

#include "binaries/DownloadWorker.h"

// Hands a post to the decode thread as soon as its first selected article is
// stored: the decode thread then follows the post's articles in order as
// they arrive, so decoding runs alongside the download instead of after it.
class TCompleteThread : public TDownloadWorker {
 public:
  explicit TCompleteThread(TDownloadContext& context)
      : TDownloadWorker(context, context.completeQueue, context.completeBusy) {}

 protected:
  void Process(TNewsMessage* message) override;
};
