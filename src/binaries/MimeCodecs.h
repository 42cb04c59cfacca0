#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>

// The small codecs of MIME bodies and encoded header words.
namespace mime {

// Base64 of one line, appended to out: leading spaces are skipped and
// decoding stops at the next space; characters outside the alphabet are
// skipped; a group cut short (by "=" or the end) counts as padded.
void AppendBase64(QByteArrayView line, QByteArray& out);
// Quoted-printable of one line (without its line end), appended to out:
// "=" and two hexadecimal digits give that byte, other "=" are kept.
// Returns true when the line ends in a soft break (a lone "=", possibly
// followed by white space), so no line end follows it.
bool AppendQuotedPrintable(QByteArrayView line, QByteArray& out);
// The "Q" form of encoded header words: as quoted-printable, and "_" is a space.
QByteArray DecodeQWord(QByteArrayView text);

int HexValue(char c);

}  // namespace mime
