#pragma once

#include <QByteArrayView>
#include <QString>

// Bytes from an article as display text: UTF-8 when valid, otherwise Latin-1.
QString BytesToText(QByteArrayView bytes);

// Decodes the encoded words of a header text ("=?charset?B?...?=" and
// "=?charset?Q?...?="): B is base64, Q is quoted-printable with "_" for a
// space, and the bytes are read in their charset when Qt knows it (UTF-8 or
// Latin-1 otherwise). Following RFC 2047, white space between two encoded
// words is dropped and folded lines are joined; adjacent words of one
// charset are decoded together, so a character split across words survives.
// Text outside encoded words, and encoded words missing a separator, are
// kept as they are.
QString DecodeHeaderWords(QByteArrayView text);
inline QString DecodeHeaderWords(const QByteArray& text) { return DecodeHeaderWords(QByteArrayView(text)); }
QString DecodeHeaderWords(const QString& text);

#include <QByteArray>
#include <QHash>

// A structured header value such as "image/gif; name=\"a b.gif\"".
struct THeaderValue {
  QByteArray value;                   // before the first ";", trimmed, lower case
  QHash<QByteArray, QString> params;  // keys in lower case; values unquoted and decoded
  bool Has(const char* key) const { return params.contains(QByteArray(key)); }
  QString Param(const char* key) const { return params.value(QByteArray(key)); }
};
// Parameters may be quoted (with backslash escapes), encoded words
// (RFC 2047) or extended values with continuations (RFC 2231, key*0*=...).
THeaderValue ParseHeaderValue(QByteArrayView text);
