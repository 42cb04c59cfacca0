#include "binaries/DecodeThread.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/DownloadEvents.h"
#include "binaries/DownloadListFiles.h"
#include "binaries/FileDupeKey.h"
#include "binaries/FileNameRules.h"
#include "binaries/NewsDecoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr char kWorkingDirectory[] = ".korvel-decoding/";

// Everything in the working directory is the decoder's own, hidden names included.
void EmptyWorkingDirectory(const QString& work) {
  const QDir dir(work);
  for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) QFile::remove(work + name);
}
}  // namespace

TDecodeThread::TDecodeThread(TDownloadContext& context)
    : TDownloadWorker(context, context.decodeQueue, context.decodeBusy) {}

TDecodeThread::~TDecodeThread() = default;

QString TDecodeThread::WorkingDirectory(const QString& destination) {
  return WithTrailingSlash(destination) + QLatin1String(kWorkingDirectory);
}

QString TDecodeThread::MoveIntoPlace(const QString& file, const QString& destination, bool* alreadyThere) {
  if (alreadyThere) *alreadyThere = false;
  const QString name = QFileInfo(file).fileName();
  const QString target = destination + name;
  if (PathEntryExists(target)) {
    // Decoded before (a session cut short after the decode): keep the one there.
    const TFileDupeKey a = FileDupeKey(file);
    const TFileDupeKey b = FileDupeKey(target);
    if (a.error == 0 && b.error == 0 && a.key == b.key && a.size == b.size && QFileInfo(target).isFile()) {
      QFile::remove(file);
      if (alreadyThere) *alreadyThere = true;
      return target;
    }
  }
  // The list will call this post done and its stored articles go, so the
  // file must be on disk first, not only in the page cache.
  QFile produced(file);
  if (!produced.open(QIODevice::ReadOnly) || ::fdatasync(produced.handle()) != 0) {
    LogError(u"Cannot write "_s + file + u" to disk"_s);
    return {};
  }
  produced.close();
  const QString unique = destination + UniqueFileName(destination, name, false);
  if (!QFile::rename(file, unique)) {
    LogError(u"Cannot move "_s + file + u" to "_s + unique);
    return {};
  }
  return unique;
}

void TDecodeThread::Started() {
  fDecoder = fContext.options.badStringsDir.isEmpty()
                 ? std::make_unique<TNewsDecoder>()
                 : std::make_unique<TNewsDecoder>(fContext.options.badStringsDir);
  fDecoder->OverwriteFiles = false;
  // The decode thread runs at its own priority; pausing every 500 lines would
  // only make it slower here.
  fDecoder->SetYield(false);
  fDecoder->SetAbortFlag(fContext.abortFlag);
  // Called before each article of the post: waits until that article is
  // stored (or known to be lost), so the decoder follows the download.
  fDecoder->OnProgress = [this](TNewsDecoder*, qint64, int current, int) {
    if (current < 0 || current >= fInputs.size()) return;
    TDownloadEntry& entry = fContext.list.Entry(fInputs[current]);
    if (entry.work) {
      const auto outcome = fContext.WaitForOutcome(entry.work, [this] { return Stopping() || fContext.Aborted(); });
      if (outcome != TNewsMessage::OUTCOME_STORED) {
        fArticleLost = true;
        return;
      }
    }
    entry.SetStatus(DOWNLOAD_STATUS_DECODING);
    if (current > 0) fContext.list.Entry(fInputs[current - 1]).SetStatus(DOWNLOAD_STATUS_DECODED);
    fContext.PostMessageStatus(DM_DECODE_PROGRESS, -1);
  };
  // What an interrupted run left in the working directory is of no use.
  const QString work = WorkingDirectory(fContext.options.decodeDir);
  if (QFileInfo::exists(work)) EmptyWorkingDirectory(work);
}

QString TDecodeThread::Destination(int post, const QList<int>& inputs) const {
  QString destination = fContext.options.decodeDir;
  const TDownloadList& list = fContext.list;
  if (fContext.options.saveToNewsgroupName && !inputs.isEmpty()) {
    const QByteArray group = list.Newsgroup(list.Entry(inputs.first()).newsgroup);
    if (!group.isEmpty()) destination += CleanPathComponent(QString::fromUtf8(group)) + u'/';
  }
  const int fileGroup = list.Entry(post).fileGroup;
  if (fileGroup > 0) {
    const QByteArray name = fContext.fileGroups.Name(fileGroup);
    if (!name.isEmpty()) destination += CleanPathComponent(QString::fromUtf8(name)) + u'/';
  }
  return destination;
}

void TDecodeThread::Process(TNewsMessage* message) {
  LOG_METHOD("DecodeNewsEntry");
  TDownloadList& list = fContext.list;
  const int post = list.PostOf(message->entry);
  fContext.PostMessageStatus(DM_DECODE_PROGRESS, post);
  bool success = false;
  try {
    fInputs.clear();
    fArticleLost = false;
    const auto [begin, end] = list.PostRange(post);
    for (int i = begin; i < end; ++i) {
      const TDownloadEntry& e = list.Entry(i);
      // Only the copies chosen for this session: a lesser repost stored
      // earlier must not be decoded into the file.
      if (!e.HasFlag(DOWNLOAD_FLAG_SELECTED) || !e.HasTexts()) continue;
      // Articles still on their way are waited for; others must be stored.
      if (e.work || QFileInfo::exists(fContext.MessageFilePath(e))) fInputs.append(i);
    }
    const QString destination = Destination(post, fInputs);
    const QString work = WorkingDirectory(destination);
    if (!QDir().mkpath(work)) LogError(u"Cannot create "_s + work);
    EmptyWorkingDirectory(work);
    fDecoder->ClearInputs();
    for (int i : fInputs) fDecoder->AddInput(fContext.MessageFilePath(list.Entry(i)), static_cast<quintptr>(i));
    fDecoder->SetDestination(work);
    bool ok = false;
    try {
      ok = !fInputs.isEmpty() && fDecoder->Execute();
    } catch (...) {
      LogError("Exception raised calling NewsDecoder.Execute");
      ok = false;
    }
    const QList<TDecodedFile> produced = fDecoder->ProducedFiles();
    bool mismatch = false;
    QStringList placed;
    QStringList kept;  // identical files that were there before: the only copy, never a dupe to delete
    if (fArticleLost) {
      // An article of the post is lost: the post is not decoded (its stored
      // articles stay for a later session), so what was begun goes.
      LogWarning(u"Not decoding a post with a missing article: "_s + QString::fromUtf8(list.Entry(post).subject));
      for (int i : fInputs) {
        TDownloadEntry& e = list.Entry(i);
        const std::uint8_t status = e.Status();
        if (status == DOWNLOAD_STATUS_DECODING || status == DOWNLOAD_STATUS_DECODED) e.SetStatus(DOWNLOAD_STATUS_VALID);
      }
      EmptyWorkingDirectory(work);
      QDir().rmdir(work);
      fDecoder->ClearInputs();
      fDecoder->ClearProduced();
      fContext.PostMessageStatus(DM_POST_DECODED, post, 0);
      return;
    }
    if (!fContext.Aborted()) {
      for (const TDecodedFile& file : produced) {
        if (file.check == DECODE_CHECK_MISMATCH) {
          mismatch = true;
          LogError(u"Decoded file fails its check: "_s + file.path + u" ("_s + file.detail + u')');
        }
        bool alreadyThere = false;
        const QString path = MoveIntoPlace(file.path, destination, &alreadyThere);
        if (path.isEmpty())
          ok = false;
        else
          (alreadyThere ? kept : placed).append(path);
      }
      // Parts of files the post did not complete are kept for the user, as
      // the decoder leaves them.
      for (const QString& name : fDecoder->Unfinished())
        if (QFileInfo::exists(work + name)) MoveIntoPlace(work + name, destination);
    }
    EmptyWorkingDirectory(work);
    QDir().rmdir(work);
    success = ok && !produced.isEmpty() && !mismatch && !fContext.Aborted() && !Stopping();
    if (!success && !fContext.Aborted() && !Stopping()) {
      LogError(u"Decoding failed ("_s + QLatin1String(DecodeEndName(fDecoder->LastEnd())) + u"): "_s +
               QString::fromUtf8(list.Entry(post).subject));
      fContext.SetPostStatus(post, DOWNLOAD_STATUS_DECODE_ERROR, true);
      fContext.PostMessageStatus(DM_DECODE_FAILED, post);
    }
    if (success) {
      fContext.SetPostStatus(post, DOWNLOAD_STATUS_COMPLETE, true);
      if (fContext.options.killDupes) KillDupes(post, placed, kept);
    }
  } catch (...) {
    LogError("Exception raised calling DecodeNewsEntry");
    fContext.SetPostStatus(post, DOWNLOAD_STATUS_DECODE_ERROR, true);
  }
  fDecoder->ClearInputs();
  fDecoder->ClearProduced();
  // The owner deletes the stored articles once the list records the post as
  // done, so a crash in between never costs them.
  fContext.PostMessageStatus(DM_POST_DECODED, post, success ? 1 : 0);
}

void TDecodeThread::KillDupes(int post, const QStringList& files, const QStringList& keptFiles) {
  int deleted = 0;
  // A file that was there already is what the new copy duplicated; the copy
  // is gone, so the file itself stays even when its key is known.
  for (const QString& path : keptFiles) {
    const TFileDupeKey key = FileDupeKey(path);
    if (key.error != 0) continue;
    if (fContext.knownKeys.contains(key.key)) {
      ++deleted;
      fContext.PostMessageStatus(DM_DUPE_DELETED, post, key.size);
    } else {
      fContext.knownKeys.insert(key.key);
      fContext.PostMessageStatus(DM_KEY_LEARNED, post, key.key);
    }
  }
  for (const QString& path : files) {
    const TFileDupeKey key = FileDupeKey(path);
    if (key.error != 0) continue;
    if (fContext.knownKeys.contains(key.key)) {
      if (QFile::remove(path)) {
        ++deleted;
        fContext.PostMessageStatus(DM_DUPE_DELETED, post, key.size);
      } else {
        LogError(u"Exception raised while killing dupe "_s + path);
      }
    } else {
      fContext.knownKeys.insert(key.key);
      fContext.PostMessageStatus(DM_KEY_LEARNED, post, key.key);
    }
  }
  if (deleted > 0)
    fContext.SetPostStatus(post, deleted == files.size() + keptFiles.size() ? DOWNLOAD_STATUS_DUPLICATE : DOWNLOAD_STATUS_SOME_DUPLICATE,
                           true);
}
