#pragma once

#include <QByteArrayView>

class QIODevice;

// The validity check run on every downloaded article before it is stored:
// - the first line that begins with "=ybegin " or "mime-version:" decides;
// - yEnc: every "=ybegin part=" must be followed by "=ypart begin=" and end
//   with an "=yend" whose pcrc32= equals the CRC-32 of the part's decoded
//   data; a "=ybegin" without part= is valid at once;
// - MIME: valid;
// - neither: the uuencode check (full "M" lines beside other "M" lines must
//   hold only characters 32 to 96).
bool CheckNewsMessage(QByteArrayView article);
// The same for a stream, read from its current position; an unreadable
// stream is invalid.
bool CheckNewsMessage(QIODevice& stream);
