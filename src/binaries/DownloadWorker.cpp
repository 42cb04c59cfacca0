#include "binaries/DownloadWorker.h"

#include "app/Logger.h"

using namespace std::chrono_literals;

void TDownloadWorker::run() {
  Started();
  const auto stop = [this] { return fStop.load() || fContext.Aborted(); };
  while (!stop()) {
    // The abort flag is only polled: the owner sets it without waking anybody.
    fQueue.Wait(stop, 100ms);
    while (!stop()) {
      std::optional<TNewsMessage*> message = fQueue.TakeInHand(fBusy);
      if (!message) break;
      try {
        Process(*message);
      } catch (const std::exception& ex) {
        LogError(QStringLiteral("Exception raised in a download worker: ") + QString::fromUtf8(ex.what()));
      }
      fBusy.fetch_sub(1);
    }
  }
  if (fContext.Aborted()) LogMessage("Ending thread by user request");
  Ending();
}
