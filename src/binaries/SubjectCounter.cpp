#include "binaries/SubjectCounter.h"

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::uint16_t ClampedNumber(QByteArrayView digits) {
  std::uint32_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 0xFFFF) return 0xFFFF;
  }
  return static_cast<std::uint16_t>(value);
}

TSubjectCounter FindWith(QByteArrayView s, char open, char close) {
  for (qsizetype slash = s.size() - 1; slash > 0; --slash) {
    if (s[slash] != '/') continue;
    qsizetype a = slash;
    while (a > 0 && IsDigit(s[a - 1])) --a;
    if (a == slash || a == 0 || s[a - 1] != open) continue;
    qsizetype b = slash + 1;
    while (b < s.size() && IsDigit(s[b])) ++b;
    if (b == slash + 1 || b >= s.size() || s[b] != close) continue;
    TSubjectCounter c;
    c.start = a - 1;
    c.length = b + 1 - c.start;
    c.part = ClampedNumber(s.sliced(a, slash - a));
    c.total = ClampedNumber(s.sliced(slash + 1, b - slash - 1));
    return c;
  }
  return {};
}
}  // namespace

QByteArray NormalizeCounterBrackets(QByteArrayView subject) {
  QByteArray out(subject.data(), subject.size());
  if (out.contains('/') && !out.contains('(') && !out.contains(')')) {
    const qsizetype open = out.lastIndexOf('[');
    const qsizetype close = out.lastIndexOf(']');
    if (open >= 0) out[open] = '(';
    if (close >= 0) out[close] = ')';
  }
  return out;
}

TSubjectCounter FindPartCounter(QByteArrayView subject, bool squareToo) {
  TSubjectCounter c = FindWith(subject, '(', ')');
  if (!c.Found() && squareToo) c = FindWith(subject, '[', ']');
  return c;
}

QByteArray RemovePartCounter(QByteArrayView subject, const TSubjectCounter& counter) {
  if (!counter.Found()) return QByteArray(subject.data(), subject.size());
  QByteArray out;
  out.reserve(subject.size() - counter.length);
  out.append(subject.first(counter.start));
  out.append(subject.sliced(counter.start + counter.length));
  return out;
}
