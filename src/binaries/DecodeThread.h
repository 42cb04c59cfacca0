#pragma once

#include "binaries/DownloadWorker.h"

#include <QString>
#include <QStringList>

#include <memory>

class TNewsDecoder;

// Decodes posts, following each post's articles in order as they are stored
// (the decoder is called before each article and waits for it), so files are
// decoded while the download goes on. The decoder writes into a
// working directory beside the destination and finished files are moved in
// afterwards, so a crash never leaves a half-decoded file under a final
// name; a file identical to one already there (a post decoded again after a
// crash) is dropped instead of being numbered.
class TDecodeThread : public TDownloadWorker {
 public:
  explicit TDecodeThread(TDownloadContext& context);
  ~TDecodeThread() override;

  // The working directory the decoder writes into for a destination.
  static QString WorkingDirectory(const QString& destination);
  // Moves a finished file from the working directory into destination under
  // its own name, numbered when a different file has it. Returns the final
  // path (empty on failure); alreadyThere tells that an identical file was
  // there and the new copy was dropped instead.
  static QString MoveIntoPlace(const QString& file, const QString& destination, bool* alreadyThere = nullptr);

 protected:
  void Started() override;
  void Process(TNewsMessage* message) override;

 private:
  QString Destination(int post, const QList<int>& inputs) const;
  void KillDupes(int post, const QStringList& files, const QStringList& keptFiles);

  std::unique_ptr<TNewsDecoder> fDecoder;
  QList<int> fInputs;  // entries of the post being decoded, in order
  bool fArticleLost = false;
};
