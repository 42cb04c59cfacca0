#include "binaries/Mime.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/FileNameRules.h"
#include "binaries/HeaderWords.h"
#include "binaries/LineScan.h"
#include "binaries/MimeDecode.h"

#include <QFile>

using namespace Qt::StringLiterals;
using linescan::StartsWithNoCase;

void TMime::SetWorkingDirectory(const QString& directory) {
  fWorkDir = directory.isEmpty() ? QString() : WithTrailingSlash(directory);
}

void TMime::SetAttachmentDirectory(const QString& directory) {
  fAttachDir = directory.isEmpty() ? QString() : WithTrailingSlash(directory);
}

QString TMime::AttachmentName(const QString& directory, const QString& name, qint64* next) {
  if (!PathEntryExists(directory + name)) return name;
  qsizetype dot = name.lastIndexOf(u'.');
  if (dot >= 0 && name.mid(dot).toUtf8().size() > 32) dot = -1;
  const QString extension = dot >= 0 ? name.mid(dot) : QString();
  const QString base = dot >= 0 ? name.left(dot) : name;
  for (qint64 n = next ? std::max<qint64>(*next, 0) : 0;; ++n) {
    const QString suffix = u"_"_s + QString::number(n) + extension;
    const QString candidate = FitFileName(base, kMaxFileNameBytes - static_cast<int>(suffix.toUtf8().size())) + suffix;
    if (!PathEntryExists(directory + candidate)) {
      if (next) *next = n + 1;
      return candidate;
    }
  }
}

void TMime::Clear() {
  fAttachments.clear();
  fAttachmentFiles.clear();
  fTextParts.clear();
  fHtmlParts.clear();
  fHeaderLines.clear();
  fReplyTo.clear();
  fSender.clear();
  fXMailer.clear();
  fMessageId.clear();
  fSubject.clear();
  fReferences.clear();
  fFollowupTo.clear();
  fDate.clear();
  fSubjectDecoded = false;
}

void TMime::KeepHeaderField(const QByteArray& line) {
  fHeaderLines.append(line);
  const auto size = static_cast<std::size_t>(line.size());
  auto value = [&](qsizetype from) { return BytesToText(QByteArrayView(line).sliced(from).trimmed()); };
  if (StartsWithNoCase(line.constData(), size, "reply-to:")) {
    fReplyTo = value(9);
  } else if (StartsWithNoCase(line.constData(), size, "sender:")) {
    fSender = value(7);
  } else if (StartsWithNoCase(line.constData(), size, "x-mailer:")) {
    fXMailer = value(9);
  } else if (StartsWithNoCase(line.constData(), size, "message-id:")) {
    fMessageId = value(11);
  } else if (StartsWithNoCase(line.constData(), size, "subject:")) {
    const QByteArray raw = QByteArrayView(line).sliced(8).trimmed().toByteArray();
    fSubject = DecodeHeaderWords(QByteArrayView(raw));
    fSubjectDecoded = fSubject != BytesToText(raw);
  } else if (StartsWithNoCase(line.constData(), size, "references:")) {
    fReferences = value(11);
  } else if (StartsWithNoCase(line.constData(), size, "followup-to:")) {
    fFollowupTo = value(12);
  } else if (StartsWithNoCase(line.constData(), size, "date:")) {
    fDate = value(5);
  }
}

bool TMime::Decode(const QString& path) {
  LOG_METHOD("MimeDecode");
  Clear();
  if (!fWorkDir.isEmpty()) DeletePlainFiles(fWorkDir);

  TLineDecoder embedded;
  embedded.ResetRun();
  embedded.SetDestination(fAttachDir);
  embedded.SetOverwrite(fOverwrite);
  embedded.SetAbortFlag(fAbortFlag);
  qsizetype embeddedSeen = 0;
  auto collectEmbedded = [&] {
    const QList<TDecodedFile>& produced = embedded.Produced();
    for (; embeddedSeen < produced.size(); ++embeddedSeen) {
      fAttachmentFiles.append(produced[embeddedSeen]);
      fAttachments.append(produced[embeddedSeen].path.mid(fAttachDir.size()));
    }
  };

  QHash<QString, qint64> nextNumber;  // per name, so many parts of one name stay cheap
  // The part being saved.
  QFile sink;
  bool sinkIsAttachment = false;
  bool sinkIsHtml = false;
  qint64 sinkBytes = 0;
  bool sinkFailed = false;

  TMimeDecode reader;
  reader.SetAbortFlag(fAbortFlag);
  reader.OnMessageHeader = [&](const QByteArray& line) { KeepHeaderField(line); };
  reader.OnPartBegin = [&](const TMimeDecode::TPartHeader& header, int number) {
    const QByteArray type = header.type.isEmpty() ? QByteArray("text") : header.type;
    const QByteArray subtype = header.type.isEmpty() ? QByteArray("plain") : header.subtype;
    bool text = type == "text";
    bool displayable = false;
    const bool html = text && subtype == "html";
    if (text && subtype != "rfc822-headers")
      displayable = subtype == "plain" || !header.fileName.isEmpty() || header.disposition == "inline";
    if (type == "message" && subtype == "disposition-notification") text = displayable = true;
    QString name = header.fileName;
    // Any non-text part named only in its content type is still a file a
    // user wants (old mailers and posters name attachments that way).
    if (name.isEmpty() && !text) name = header.name;
    if (name.isEmpty()) {
      if (fNamedPartsOnly) return;
      name = u"Part_"_s + QString::number(number) + u".txt"_s;
    }
    // Only the last path component of a name counts, and it is cleaned.
    const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    if (slash >= 0 && slash + 1 < name.size()) name = name.mid(slash + 1);
    name = CleanFileName(name);
    sinkIsAttachment = !(displayable || html);
    sinkIsHtml = html;
    const QString directory = sinkIsAttachment ? fAttachDir : fWorkDir;
    if (directory.isEmpty()) return;
    qint64& next = nextNumber[(sinkIsAttachment ? u"a"_s : u"t"_s) + name];
    const QString chosen =
        sinkIsAttachment ? AttachmentName(directory, name, &next) : UniqueFileName(directory, name, false, &next);
    sink.setFileName(directory + chosen);
    // A new file only: never through a link, never over another file.
    if (!sink.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      LogWarning(u"Cannot create "_s + directory + chosen);
      return;
    }
    sinkBytes = 0;
    sinkFailed = false;
  };
  reader.OnPartData = [&](const char* data, std::size_t size) {
    if (!sink.isOpen() || sinkFailed) return;
    if (sink.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) {
      LogError(u"Writing "_s + sink.fileName() + u" failed"_s);
      sinkFailed = true;
    }
    sinkBytes += static_cast<qint64>(size);
  };
  reader.OnTextLine = [&](const char* line, std::size_t size) {
    const TLineDecoder::TMode before = embedded.Mode();
    const bool marker = StartsWithNoCase(line, size, "=ybegin ") || StartsWithNoCase(line, size, "=ypart ") ||
                        StartsWithNoCase(line, size, "=yend ");
    const bool begin = StartsWithNoCase(line, size, "begin ");
    if (before == TLineDecoder::MODE_NONE && !marker && !begin) return false;
    embedded.ProcessLine(line, size);
    collectEmbedded();
    return marker || before != TLineDecoder::MODE_NONE || embedded.Mode() != TLineDecoder::MODE_NONE;
  };
  reader.OnPartEnd = [&] {
    if (!sink.isOpen()) return;
    const bool flushed = sink.flush();
    sink.close();
    if (sinkBytes == 0 || sinkFailed || !flushed) {
      sink.remove();
      return;
    }
    if (sinkIsAttachment) {
      fAttachments.append(sink.fileName().mid(fAttachDir.size()));
      fAttachmentFiles.append({sink.fileName(), sinkBytes, DECODE_CHECK_NO_CHECKSUM, {}});
      LogMessage(u"Saved attachment "_s + sink.fileName());
    } else if (sinkIsHtml) {
      fHtmlParts.append(sink.fileName());
    } else {
      fTextParts.append(sink.fileName());
    }
  };

  const bool ok = reader.Decode(path);
  if (sink.isOpen()) {
    // Aborted or unreadable in the middle of a part.
    sink.close();
    sink.remove();
  }
  embedded.FinishRun();
  if (!ok && fAbortFlag && fAbortFlag->load() != 0) {
    embedded.DiscardRun();
    for (const TDecodedFile& file : std::as_const(fAttachmentFiles)) QFile::remove(file.path);
    Clear();
    return false;
  }
  collectEmbedded();
  return ok;
}
