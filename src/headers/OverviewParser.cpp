#include "headers/OverviewParser.h"

#include "binaries/HeaderWords.h"
#include "model/SubjectParsing.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kNoSubject = "(no subject)";
constexpr QByteArrayView kInvalidSender = "(invalid)";

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

QByteArrayView Trimmed(QByteArrayView text) {
  qsizetype b = 0, e = text.size();
  while (b < e && IsSpaceOrControl(text[b])) ++b;
  while (e > b && IsSpaceOrControl(text[e - 1])) --e;
  return text.sliced(b, e - b);
}

// A decimal field; `ignore` characters are passed over. -1 when anything else
// is in it, or it is empty or beyond 64 bits.
std::int64_t ParseDecimal(QByteArrayView field, bool skipQuotes) {
  std::int64_t value = 0;
  bool any = false;
  for (char c : field) {
    if (skipQuotes && (c == '"' || c == '\'')) continue;
    if (c < '0' || c > '9') return -1;
    if (value > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return -1;
    value = value * 10 + (c - '0');
    any = true;
  }
  return any ? value : -1;
}

std::uint32_t ClampTo32(std::int64_t value) {
  if (value <= 0) return 0;
  return value > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                            : static_cast<std::uint32_t>(value);
}

// A cut after `length` bytes that would split a UTF-8 sequence moves back to
// the sequence's first byte, so a cut subject stays valid UTF-8.
qsizetype Utf8Cut(QByteArrayView text, qsizetype length) {
  if (length >= text.size()) return text.size();
  qsizetype cut = length;
  int back = 0;
  while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
    ++back;
  }
  if (back == 0) return length;
  const auto lead = static_cast<unsigned char>(text[cut]);
  const int need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  // Not a lead byte whose sequence crosses the cut: not UTF-8, cut where asked.
  return need > back ? cut : length;
}

}  // namespace

TOverviewParser::TOverviewParser() : fClock(TArticleDateClock::Now()) {
  fSubject[0] = 0;
  fLower[0] = 0;
}

void TOverviewParser::SetMatchStrings(const QString& commaSeparated) {
  fMatch.clear();
  for (const QString& part : commaSeparated.split(u',')) {
    if (part.isEmpty()) continue;
    fMatch.append(part.toLower().toUtf8());
  }
}

bool TOverviewParser::MatchesFilter(const char* subject, int length) const {
  bool ascii = true;
  for (int i = 0; i < length; ++i) {
    fLower[i] = Lower(subject[i]);
    ascii = ascii && static_cast<unsigned char>(subject[i]) < 0x80;
  }
  std::string_view lower(fLower, static_cast<std::size_t>(length));
  // The match strings were lowered as text; a subject beyond ASCII is too,
  // or "Über" would never find "über" (rare: only filtered jobs get here).
  QByteArray unicode;
  if (!ascii) {
    unicode = QString::fromUtf8(subject, length).toLower().toUtf8();
    lower = std::string_view(unicode.constData(), static_cast<std::size_t>(unicode.size()));
  }
  return std::any_of(fMatch.cbegin(), fMatch.cend(), [&lower](const QByteArray& match) {
    return lower.find(std::string_view(match.constData(), static_cast<std::size_t>(match.size()))) !=
           std::string_view::npos;
  });
}

bool TOverviewParser::ProcessSubject(QByteArrayView field, TNewsHeader& header) {
  QByteArray decoded;
  QByteArrayView source = field;
  if (field.contains("=?")) {
    decoded = DecodeHeaderWords(field).toUtf8();
    source = decoded;
  }
  const qsizetype taken = Utf8Cut(source, kMaxSubject);
  std::memcpy(fSubject, source.data(), static_cast<std::size_t>(taken));

  const QByteArrayView trimmed = Trimmed(QByteArrayView(fSubject, taken));
  char* s = fSubject + (trimmed.data() - fSubject);
  int length = static_cast<int>(trimmed.size());

  bool removed = false;
  while (length >= 3 && Lower(s[0]) == 'r' && Lower(s[1]) == 'e' && s[2] == ':') {
    s += 3;
    length -= 3;
    removed = true;
    while (length > 0 && IsBlank(s[0])) {
      ++s;
      --length;
    }
  }
  header.reply = removed;
  if (removed && length == 0) {
    s = fSubject;
    length = static_cast<int>(kNoSubject.size());
    std::memcpy(s, kNoSubject.data(), kNoSubject.size());
  }

  // Runs of blanks shrink to one.
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (s[i] == ' ' && out > 0 && s[out - 1] == ' ') continue;
    s[out++] = s[i];
  }
  length = out;

  if (!fMatch.isEmpty() && !MatchesFilter(s, length)) return false;

  TPartCounter counter;
  length = ParsePartCounter(s, length, counter);
  header.partNumber = counter.part;
  header.totalParts = counter.total;
  header.partPosition = counter.position;
  if (length <= 0) return false;
  header.subject = QByteArrayView(s, length);
  return true;
}

TOverviewParser::TResult TOverviewParser::Parse(QByteArrayView line, TNewsHeader& header) {
  header = TNewsHeader{};
  fNumber = 0;
  fSenderSeen = false;

  // The fields, split at tabs; the line holds one more field than tabs.
  constexpr int kFields = 8;
  QByteArrayView fields[kFields];
  int count = 0;
  qsizetype start = 0;
  for (;;) {
    const qsizetype tab = line.indexOf('\t', start);
    const qsizetype end = tab < 0 ? line.size() : tab;
    if (count < kFields) fields[count] = line.sliced(start, end - start);
    ++count;
    if (tab < 0) break;
    start = tab + 1;
  }

  const std::int64_t number = ParseDecimal(fields[0], true);
  if (number <= 0) return OVERVIEW_FAILED;
  fNumber = number;
  header.number = ClampTo32(number);

  if (count < 2 || !ProcessSubject(fields[1], header)) return OVERVIEW_FAILED;

  if (count < 3) return OVERVIEW_FAILED;
  header.sender = fields[2].size() > kMaxSender ? kInvalidSender : Trimmed(fields[2]);
  fSenderSeen = true;

  if (count < 4) return OVERVIEW_FAILED;
  header.date = ParseArticleDate(fields[3], fClock);

  if (count < 5) return OVERVIEW_FAILED;
  QByteArrayView id = fields[4];
  if (id.isEmpty() || id.size() > kMaxMessageId) return OVERVIEW_FAILED;
  if (id.front() == '<' || id.front() == '(') {
    // A lone bracket has no identifier inside.
    if (id.size() < 2) return OVERVIEW_FAILED;
    id = id.sliced(1, id.size() - 2);
  }
  header.messageId = id;

  if (count < 6) return OVERVIEW_FAILED;
  header.references = fields[5];
  if (count > 6) header.bytes = ClampTo32(ParseDecimal(fields[6], false));
  if (count > 7) header.lines = ClampTo32(ParseDecimal(fields[7], false));

  if (header.messageId.isEmpty()) return OVERVIEW_SKIPPED;
  return OVERVIEW_HEADER;
}
