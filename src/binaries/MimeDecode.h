#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <atomic>
#include <functional>

// The MIME message reader: splits a message file into lines at LF (a CR
// before the LF is dropped), unfolds header lines, and drives three phases:
// message header, part header, part body. Bodies are decoded by their
// transfer encoding (base64, quoted-printable, x-uuencode, else as they are)
// and handed on through the callbacks; lines of other encodings also go to
// OnTextLine so the owner can pick out embedded uuencoded and yEnc files.
class TMimeDecode {
 public:
  struct TPartHeader {
    QByteArray type;     // lower case, e.g. "image"
    QByteArray subtype;  // lower case, e.g. "gif"
    QString name;        // content-type "name"
    QByteArray charset;
    QByteArray encoding;     // lower case
    QByteArray disposition;  // lower case, e.g. "attachment"
    QString fileName;        // content-disposition "filename"
  };

  // Every unfolded header line of the message (name: value, as read).
  std::function<void(const QByteArray& line)> OnMessageHeader;
  // A part begins (its header ended); parts are numbered from 1.
  std::function<void(const TPartHeader& header, int number)> OnPartBegin;
  // Decoded bytes of the current part.
  std::function<void(const char* data, std::size_t size)> OnPartData;
  // A raw line of a part that is not base64 or x-uuencode; return true when
  // the owner took it (an embedded file), so it is not part data.
  std::function<bool(const char* line, std::size_t size)> OnTextLine;
  std::function<void()> OnPartEnd;

  void SetAbortFlag(const std::atomic<int>* flag) { fAbortFlag = flag; }
  // False when the file cannot be read or the run was aborted.
  bool Decode(const QString& path);

 private:
  enum TPhase { PHASE_MESSAGE_HEADER, PHASE_PART_HEADER, PHASE_BODY, PHASE_SKIP };

  void HeaderLine(const QByteArray& line, TPartHeader& header);
  void EndHeader(TPartHeader& header);
  bool IsDelimiter(const char* line, std::size_t size, bool& closing) const;
  void BodyLine(const char* line, std::size_t size);
  void EndPart();

  const std::atomic<int>* fAbortFlag = nullptr;
  TPhase fPhase = PHASE_MESSAGE_HEADER;
  QByteArrayList fDelimiters;  // "--" + boundary, lower case
  TPartHeader fMessage;        // the message's own content fields
  TPartHeader fPart;
  QByteArray fLogical;  // header line being unfolded
  bool fInPart = false;
  int fPartNumber = 0;
  // Text line ends are written before the next line, so the line end in
  // front of a delimiter (which belongs to the delimiter) is never data.
  bool fPendingLineEnd = false;
  bool fUuActive = false;
  QByteArray fScratch;
};
