#include "binaries/DownloadSession.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/DownloadList.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/DownloadManager.h"
#include "binaries/DupeKeyFile.h"
#include "binaries/WorkSelection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

TDownloadSession::TDownloadSession(TDownloadList& list, QObject* parent) : QObject(parent), fList(list) {}

TDownloadSession::~TDownloadSession() { Stop(); }

bool TDownloadSession::Start(const TDownloadSessionSetup& setup, QString* error) {
  LOG_METHOD("TDownloadSession.Start");
  const auto fail = [error](const QString& text) {
    LogError(text);
    if (error) *error = text;
    return false;
  };
  if (fRunning) return fail(u"A download is already running."_s);
  fSetup = setup;
  fSetup.decodeDir = WithTrailingSlash(setup.decodeDir);
  if (fSetup.decodeDir.isEmpty()) return fail(u"Please select a directory to save decoded files to."_s);
  if (!QDir().mkpath(fSetup.decodeDir))
    return fail(u"The save directory cannot be found or created. Please select another one."_s);
  if (fSetup.servers.isEmpty()) return fail(u"There are no NNTP servers defined."_s);

  TDownloadOptions options;
  options.listPath = fSetup.cuePath;
  options.decodeDir = fSetup.decodeDir;
  options.keepMessages = fSetup.settings.KeepMessages;
  options.checkMessages = fSetup.settings.CheckMessages;
  options.saveToNewsgroupName = fSetup.settings.cbSaveToNewsgroupName;
  options.killDupes = fSetup.settings.KillDupes;
  options.authenticationErrorAction = fSetup.settings.AuthenticationErrorAction;
  options.freeSpaceThresholdMB = fSetup.freeSpaceThresholdMB;
  options.decodePriority = fSetup.decodePriority;
  options.alwaysEnterGroup = fSetup.alwaysEnterGroup;
  options.badStringsDir = fSetup.badStringsDir;
  options.clientTimeout = fSetup.clientTimeout;

  fAbort = 0;
  fManager = new TDownloadManager(fList, options, &fAbort, this);
  for (const TConnectionServer& s : fSetup.servers)
    fManager->AddServer(s.server, s.connections, s.unlimited || fSetup.settings.AllConnectionUnlimited);
  if (!fManager->SetServers()) {
    delete fManager;
    fManager = nullptr;
    return fail(u"There was an error setting the download manager's servers. Download aborted."_s);
  }
  for (TDownloadEntry& e : fList.Entries()) e.work = nullptr;
  const std::vector<int> selected =
      SelectWork(fList, {fSetup.settings.Downloadincompleteposts, fSetup.noRetryUnavailable});
  fSelectedArticles = static_cast<int>(selected.size());
  fSelectedPosts = 0;
  int lastPost = -1;
  for (int entry : selected) {
    fManager->AddMessage(entry);
    const int post = fList.PostOf(entry);
    if (post != lastPost) ++fSelectedPosts;
    lastPost = post;
  }
  fStartKeys.clear();
  if (fSetup.settings.KillDupes) {
    fStartKeys = LoadDupeKeys(fSetup.cuePath);
    fManager->SetKnownKeys(fStartKeys);
  }

  fLearnedKeys.clear();
  fPendingDeletes.clear();
  fPostsDecoded = fDecodeErrors = fNotServed = 0;
  fSummary = {};
  fRunning = true;
  LogMessage(u"Download of "_s + fSetup.cuePath + u" started: "_s + QString::number(selected.size()) +
             u" articles"_s);
  fManager->Resume();
  return true;
}

void TDownloadSession::Abort() {
  if (!fRunning) return;
  fAbort = 1;
  if (fManager) fManager->Wake();
}

bool TDownloadSession::Stop(int timeoutMs) {
  if (!fRunning || !fManager) return true;
  Abort();
  if (!fManager->Wait(timeoutMs)) return false;
  End(fManager->StopReason());
  return true;
}

void TDownloadSession::customEvent(QEvent* event) {
  const int type = event->type();
  if (type == WM_DM_SESSION_END) {
    // After Stop() the end was handled already.
    if (fRunning) End(static_cast<TDownloadEndEvent*>(event)->reason);
    if (Receiver) QCoreApplication::sendEvent(Receiver, event);
    return;
  }
  if (type == WM_DM_MESSAGE_STATUS && fRunning) {
    const auto* e = static_cast<TDownloadEvent*>(event);
    switch (e->subCode) {
      case DM_ARTICLE_RECEIVED:
        fSummary.bytesReceived += e->value;
        fSetup.settings.Stats_BytesReceived += double(e->value);
        break;
      case DM_POST_DECODED:
        if (e->value != 0) {
          ++fPostsDecoded;
          ++fSetup.settings.Stats_PostDecoded;
          if (!fSetup.settings.KeepMessages && e->entry >= 0) {
            const auto [begin, end] = fList.PostRange(e->entry);
            for (int i = begin; i < end; ++i) {
              const TDownloadEntry& entry = fList.Entry(i);
              if (entry.HasFlag(DOWNLOAD_FLAG_SELECTED) && entry.HasTexts())
                fPendingDeletes.append(fSetup.decodeDir + MessageFileName(entry.messageId));
            }
          }
          const int every = fSetup.settings.SaveQueueFrequency;
          if (every > 0 && fPostsDecoded % every == 0)
            SaveProgress();
          else if (every == 0)
            DeleteStoredArticles();
        }
        break;
      case DM_DECODE_FAILED:
        ++fDecodeErrors;
        ++fSetup.settings.Stats_DecodeError;
        break;
      case DM_DUPE_DELETED:
        ++fSummary.dupeFiles;
        ++fSetup.settings.Stats_DupeFiles;
        if (fManager) fManager->Stats().AddDuplicate(e->value);
        break;
      case DM_KEY_LEARNED:
        fLearnedKeys.append(static_cast<std::uint32_t>(e->value));
        break;
      case DM_NOT_SERVED:
        ++fNotServed;
        break;
      default:
        break;
    }
  }
  if (Receiver) QCoreApplication::sendEvent(Receiver, event);
}

void TDownloadSession::SaveProgress() {
  // Articles go only once the saved list records their post as done.
  if (fList.Save(fSetup.cuePath, false)) DeleteStoredArticles();
}

void TDownloadSession::DeleteStoredArticles() {
  for (const QString& path : std::as_const(fPendingDeletes)) QFile::remove(path);
  fPendingDeletes.clear();
}

void TDownloadSession::CountSummary() {
  const qint64 bytes = fSummary.bytesReceived;
  const int dupes = fSummary.dupeFiles;
  fSummary = {};
  fSummary.bytesReceived = bytes;
  fSummary.dupeFiles = dupes;
  for (int post : fList.Rows()) {
    const auto [begin, end] = fList.RowRange(post);
    for (int first = begin; first < end;) {
      // A row of gathered singles counts each single as a post.
      const auto [pBegin, pEnd] = fList.PostRange(first);
      bool selected = false;
      int missing = 0;
      for (int i = pBegin; i < pEnd; ++i) {
        const TDownloadEntry& e = fList.Entry(i);
        if (!e.HasFlag(DOWNLOAD_FLAG_SELECTED)) continue;
        selected = true;
        if (e.Status() == DOWNLOAD_STATUS_UNAVAILABLE) ++missing;
      }
      first = pEnd;
      if (!selected) continue;
      ++fSummary.posts;
      fSummary.missingArticles += missing;
      switch (fList.Entry(pBegin).Status()) {
        case DOWNLOAD_STATUS_COMPLETE:
        case DOWNLOAD_STATUS_DUPLICATE:
        case DOWNLOAD_STATUS_SOME_DUPLICATE:
          ++fSummary.complete;
          break;
        case DOWNLOAD_STATUS_DECODE_ERROR:
        case DOWNLOAD_STATUS_INVALID:
        case DOWNLOAD_STATUS_CHECK_ERROR:
          ++fSummary.failed;
          break;
        default:
          if (missing > 0)
            ++fSummary.unavailable;
          else
            ++fSummary.unfinished;
          break;
      }
    }
  }
}

void TDownloadSession::End(TDownloadStopReason reason) {
  LOG_METHOD("TDownloadSession.End");
  if (!fRunning) return;
  fRunning = false;
  if (fManager) {
    fManager->Wait();
    // Stopped without an event loop, the last reports of keys may still be
    // queued: the decode thread's own set has them all.
    const QSet<std::uint32_t> seen(fLearnedKeys.cbegin(), fLearnedKeys.cend());
    for (std::uint32_t key : fManager->KnownKeys())
      if (!fStartKeys.contains(key) && !seen.contains(key)) fLearnedKeys.append(key);
  }
  if (fSetup.settings.KillDupes && !AppendDupeKeys(fSetup.cuePath, fLearnedKeys))
    LogError(u"Cannot add the keys of decoded files to "_s + DownloadListFile(fSetup.cuePath, ".crc"));
  CountSummary();
  if (reason != DM_STOP_ABORTED) {
    if (fList.Save(fSetup.cuePath, false)) DeleteStoredArticles();
  }
  ResetStatusesAfterSession(fList, fSetup.noRetryUnavailable);
  for (TDownloadEntry& e : fList.Entries()) e.work = nullptr;
  if (!fSetup.settings.Write(fSetup.cuePath)) LogError(u"Cannot write "_s + DownloadListFile(fSetup.cuePath, ".cui"));
  delete fManager;
  fManager = nullptr;
  LogMessage(QString::asprintf("Posts decoded: %d", fPostsDecoded));
  emit Finished(reason);
}
