#pragma once

#include "binaries/LineDecoder.h"

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// The MIME message decoder: reads a message with TMimeDecode, classifies its
// parts and saves them. Displayable text and HTML parts go to the working
// directory (emptied at the start of every decode); every other named part is
// an attachment saved under a unique name in the attachment directory; files
// uuencoded or yEnc-encoded inside a part are decoded there too. All names
// pass through CleanFileName.
class TMime {
 public:
  void SetWorkingDirectory(const QString& directory);
  void SetAttachmentDirectory(const QString& directory);
  // Parts without a name are skipped instead of being saved as "Part_N.txt".
  void SetNamedPartsOnly(bool on) { fNamedPartsOnly = on; }
  // For embedded uuencoded and yEnc files only; attachments never replace.
  void SetOverwriteFiles(bool on) { fOverwrite = on; }
  void SetAbortFlag(const std::atomic<int>* flag) { fAbortFlag = flag; }

  // False when the file cannot be read or the decode was aborted.
  bool Decode(const QString& path);

  // Saved attachments, by name in the attachment directory, in order.
  const QStringList& Attachments() const { return fAttachments; }
  const QList<TDecodedFile>& AttachmentFiles() const { return fAttachmentFiles; }
  // Full paths of the displayable text parts and the HTML parts saved in the
  // working directory, in order.
  const QStringList& TextParts() const { return fTextParts; }
  const QStringList& HtmlParts() const { return fHtmlParts; }

  // The message header as read (unfolded lines) and the fields kept for display.
  const QByteArrayList& HeaderLines() const { return fHeaderLines; }
  const QString& ReplyTo() const { return fReplyTo; }
  const QString& Sender() const { return fSender; }
  const QString& XMailer() const { return fXMailer; }
  const QString& MessageId() const { return fMessageId; }
  const QString& Subject() const { return fSubject; }
  bool SubjectDecoded() const { return fSubjectDecoded; }
  const QString& References() const { return fReferences; }
  const QString& FollowupTo() const { return fFollowupTo; }
  const QString& Date() const { return fDate; }

  // The attachment rule: name itself, or base + "_" + N + extension for the
  // first N = 0, 1, ... that does not exist in directory (from *next when
  // given, which is then updated).
  static QString AttachmentName(const QString& directory, const QString& name, qint64* next = nullptr);

 private:
  void Clear();
  void KeepHeaderField(const QByteArray& line);

  QString fWorkDir;
  QString fAttachDir;
  bool fNamedPartsOnly = false;
  bool fOverwrite = false;
  const std::atomic<int>* fAbortFlag = nullptr;

  QStringList fAttachments;
  QList<TDecodedFile> fAttachmentFiles;
  QStringList fTextParts;
  QStringList fHtmlParts;
  QByteArrayList fHeaderLines;
  QString fReplyTo, fSender, fXMailer, fMessageId, fSubject, fReferences, fFollowupTo, fDate;
  bool fSubjectDecoded = false;
};
