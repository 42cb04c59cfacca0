#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// The part counter of a subject: "(n/m)" (or "[n/m]" where allowed), n and m
// runs of digits. Values beyond 65535 are clamped: they go to 16-bit fields.
struct TSubjectCounter {
  qsizetype start = -1;  // index of the opening bracket; -1 when there is none
  qsizetype length = 0;  // from the opening to the closing bracket
  std::uint16_t part = 0;
  std::uint16_t total = 0;
  bool Found() const { return start >= 0; }
};

// A subject with "/" but neither "(" nor ")" has its last "[" and last "]"
// turned into "(" and ")", so "[3/7]" counts as a counter.
QByteArray NormalizeCounterBrackets(QByteArrayView subject);
// The rightmost "(n/m)" of the (normalised) subject; with squareToo, failing
// that, the rightmost "[n/m]".
TSubjectCounter FindPartCounter(QByteArrayView subject, bool squareToo = false);
// The subject without the counter's text (the blanks around it stay).
QByteArray RemovePartCounter(QByteArrayView subject, const TSubjectCounter& counter);
