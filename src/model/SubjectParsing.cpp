#include "model/SubjectParsing.h"

#include <cstring>

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Digits s[from..to) as a number; more than 9 digits do not count as a counter.
bool ReadNumber(const char* s, int from, int to, std::uint32_t& value) {
  if (to - from > 9) return false;
  value = 0;
  for (int k = from; k < to; ++k) value = value * 10 + static_cast<std::uint32_t>(s[k] - '0');
  return true;
}

// Looks for "<open>digits/digits<close>" around each slash, the last first.
bool FindCounter(const char* s, int length, char open, char close, int& from, int& to, TPartCounter& counter) {
  for (int k = length - 3; k >= 2; --k) {
    if (s[k] != '/') continue;
    int i = k - 1;
    while (i >= 0 && IsDigit(s[i])) --i;
    if (i < 0 || s[i] != open || i == k - 1) continue;
    int j = k + 1;
    while (j < length - 1 && IsDigit(s[j])) ++j;
    if (s[j] != close || j == k + 1) continue;
    std::uint32_t part = 0;
    std::uint32_t total = 0;
    if (!ReadNumber(s, i + 1, k, part) || !ReadNumber(s, k + 1, j, total)) continue;
    counter.part = static_cast<std::uint16_t>(part);
    counter.total = static_cast<std::uint16_t>(total);
    counter.position = static_cast<std::uint16_t>(i + 1);
    from = i;
    to = j;
    return true;
  }
  return false;
}

inline bool IsTerminator(char c) {
  switch (c) {
    case ' ':
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
      return true;
    default:
      return false;
  }
}

inline bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int CompareNoCase(QByteArrayView a, QByteArrayView b) {
  const qsizetype n = a.size() < b.size() ? a.size() : b.size();
  for (qsizetype i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QByteArray LowerCopy(QByteArrayView text) {
  QByteArray out(text.data(), text.size());
  for (char& c : out) c = Lower(c);
  return out;
}

}  // namespace

int ParsePartCounter(char* subject, int length, TPartCounter& counter) {
  counter = TPartCounter();
  if (!subject || length < 5) return length;
  int lastOpen = -1;
  int lastClose = -1;
  bool slash = false;
  bool parenthesis = false;
  for (int k = 0; k < length; ++k) {
    switch (subject[k]) {
      case '/':
        slash = true;
        break;
      case '(':
      case ')':
        parenthesis = true;
        break;
      case '[':
        lastOpen = k;
        break;
      case ']':
        lastClose = k;
        break;
      default:
        break;
    }
  }
  // Brackets stand in for parentheses when a subject has none.
  const bool swapped = slash && !parenthesis && lastOpen >= 0 && lastClose >= 0;
  if (swapped) {
    subject[lastOpen] = '(';
    subject[lastClose] = ')';
  }
  int from = 0;
  int to = 0;
  if (FindCounter(subject, length, '(', ')', from, to, counter) ||
      FindCounter(subject, length, '[', ']', from, to, counter)) {
    std::memmove(subject + from, subject + to + 1, static_cast<std::size_t>(length - to - 1));
    return length - (to - from + 1);
  }
  if (swapped) {
    subject[lastOpen] = '[';
    subject[lastClose] = ']';
  }
  return length;
}

TPartCounter ParsePartCounter(QByteArray& subject) {
  TPartCounter counter;
  if (subject.size() > 0x7FFFFFFF) return counter;
  const int length = ParsePartCounter(subject.data(), static_cast<int>(subject.size()), counter);
  subject.truncate(length);
  return counter;
}

bool StripReplyPrefixes(QByteArray& subject) {
  qsizetype at = 0;
  bool removed = false;
  while (subject.size() - at >= 3 && Lower(subject[at]) == 'r' && Lower(subject[at + 1]) == 'e' &&
         subject[at + 2] == ':') {
    at += 3;
    removed = true;
    while (at < subject.size() && IsBlank(subject[at])) ++at;
  }
  if (!removed) return false;
  subject.remove(0, at);
  if (subject.isEmpty()) subject = QByteArrayLiteral("(no subject)");
  return true;
}

QByteArrayView ExtractFileName(QByteArrayView subject, bool mustBeQuoted) {
  const qsizetype length = subject.size();
  if (length < 3 || length >= 8192) return {};
  const char* s = subject.data();
  for (qsizetype dot = length - 2; dot >= 1; --dot) {
    if (s[dot] != '.' || IsTerminator(s[dot + 1])) continue;
    qsizetype extEnd = dot + 1;
    while (extEnd < length && !IsTerminator(s[extEnd])) ++extEnd;
    const qsizetype extLength = extEnd - dot - 1;
    if (extLength < 3 || extLength > 7) continue;
    bool alnum = true;
    bool digits = true;
    for (qsizetype k = dot + 1; k < extEnd; ++k) {
      alnum = alnum && IsAlnum(s[k]);
      digits = digits && IsDigit(s[k]);
    }
    if (!alnum || (extLength >= 4 && digits)) continue;
    if (extLength == 3 && Lower(s[dot + 1]) == 'c' && Lower(s[dot + 2]) == 'o' && Lower(s[dot + 3]) == 'm') continue;

    qsizetype after = extEnd;
    while (after < length && s[after] == ' ') ++after;
    const bool quoted = after < length && s[after] == '"';
    if (mustBeQuoted && !quoted) continue;

    qsizetype start = dot;
    while (start > 0 && !(IsTerminator(s[start - 1]) && !(quoted && s[start - 1] == ' '))) --start;
    while (start < dot && s[start] == ' ') ++start;
    if (start == dot) continue;
    const QByteArrayView stem(s + start, dot - start);
    if (stem.size() >= 6 && CompareNoCase(stem.first(6), "alt.bi") == 0) continue;
    bool onlyDots = true;
    for (char c : stem) onlyDots = onlyDots && c == '.';
    if (onlyDots) continue;
    return QByteArrayView(s + start, extEnd - start);
  }
  return {};
}

QByteArray IntelligentSortKey(QByteArrayView subject) {
  QByteArray key(subject.data(), subject.size());
  qsizetype open = -1;
  bool slash = false;
  for (qsizetype k = 0; k < key.size(); ++k) {
    const char c = key[k];
    if (c == '[') {
      if (k > 24) break;
      key[k] = ')';
      open = k;
    } else if (c == '/') {
      slash = true;
    } else if (c == ']') {
      key[k] = '*';
      if (open >= 0 && slash)
        for (qsizetype t = open + 1; t < k; ++t) key[t] = ' ';
      open = -1;
      slash = false;
    }
  }
  qsizetype lead = 0;
  while (lead < key.size() && key[lead] >= 0x20 && key[lead] <= 0x23) ++lead;
  return key.mid(lead);
}

int CompareSubjects(QByteArrayView a, QByteArrayView b, TSubjectCompareMode mode, bool filenamesMustBeQuoted) {
  switch (mode) {
    case SUBJECT_COMPARE_FILENAME: {
      const QByteArrayView fa = ExtractFileName(a, filenamesMustBeQuoted);
      const QByteArrayView fb = ExtractFileName(b, filenamesMustBeQuoted);
      return CompareNoCase(fa.isEmpty() ? a : fa, fb.isEmpty() ? b : fb);
    }
    case SUBJECT_COMPARE_INTELLIGENT:
      return CompareNoCase(IntelligentSortKey(a), IntelligentSortKey(b));
    default:
      return CompareNoCase(a, b);
  }
}

bool ContainsCompleteMultipartString(QByteArrayView subject, const QList<QByteArray>& strings) {
  if (subject.isEmpty()) return false;
  const QByteArray lower = LowerCopy(subject);
  for (const QByteArray& entry : strings) {
    // An empty entry would match every subject.
    if (entry.isEmpty() || entry.startsWith(';') || entry.startsWith("//")) continue;
    if (lower.contains(LowerCopy(entry))) return true;
  }
  return false;
}
