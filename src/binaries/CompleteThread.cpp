#include "binaries/CompleteThread.h"

void TCompleteThread::Process(TNewsMessage* message) {
  fContext.primaryBits.Return(message->primaryBits);
  fContext.fillBits.Return(message->fillBits);
  message->primaryBits = message->fillBits = nullptr;
  TDownloadList& list = fContext.list;
  const int post = list.PostOf(message->entry);
  const auto [begin, end] = list.PostRange(post);
  int first = -1;
  bool allValid = true;
  for (int i = begin; i < end; ++i) {
    const TDownloadEntry& e = list.Entry(i);
    if (!e.HasFlag(DOWNLOAD_FLAG_SELECTED)) continue;
    if (first < 0) first = i;
    if (e.Status() != DOWNLOAD_STATUS_VALID) allValid = false;
  }
  // Every record passes here once, so the post is handed over once.
  if (message->entry != first) return;
  if (allValid) fContext.SetPostStatus(post, DOWNLOAD_STATUS_WAIT_DECODE, false);
  fContext.decodeQueue.Add(message);
}
