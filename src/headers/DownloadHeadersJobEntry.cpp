#include "headers/DownloadHeadersJobEntry.h"

#include "headers/JobThread.h"

bool TDownloadHeadersJobEntry::WasDataReceived() const { return Thread() && HeadersDownloaded() > 0; }

void TDownloadHeadersJobEntry::FinishNow() {
  if (TJobThread* thread = Thread()) thread->FinishNow();
}
