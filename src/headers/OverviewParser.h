#pragma once

#include "headers/NewsHeader.h"
#include "nntp/ArticleDate.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>

// Turns one overview line ("number TAB subject TAB from TAB date TAB
// message-id TAB references TAB bytes TAB lines ...") into the header the
// headers download stores: the subject decoded, cut to 256 bytes, without
// "re:" prefixes, doubled blanks and part counter; the sender cut to
// "(invalid)" when longer than 160 bytes; the message-id without its
// brackets. The texts of the header are views into the line and into the
// parser's own buffer: valid until the next Parse. No allocation per line
// (only subjects with encoded words are decoded through a QString).
class TOverviewParser {
 public:
  static constexpr int kMaxSubject = 256;
  static constexpr int kMaxSender = 160;
  static constexpr int kMaxMessageId = 256;

  enum TResult {
    OVERVIEW_HEADER,   // a header to keep (or to test against the kill file)
    OVERVIEW_FAILED,   // the line does not parse, or the subject misses every match string
    OVERVIEW_SKIPPED,  // parsed, but without article number, subject or message-id
  };

  TOverviewParser();

  // Comma-separated; matched without regard to case as substrings of the
  // processed subject. Empty entries are ignored; an empty text turns the
  // filter off.
  void SetMatchStrings(const QString& commaSeparated);
  bool HasMatchStrings() const { return !fMatch.isEmpty(); }
  // What "now" is for dates without a readable time (refresh it now and then).
  void SetClock(const TArticleDateClock& clock) { fClock = clock; }

  TResult Parse(QByteArrayView line, TNewsHeader& header);

  // The article number of field 0 of the last line (also of a line that
  // failed later on); 0 when it had none. 64 bits: the index record keeps
  // numbers above 4294967295 as 4294967295.
  std::int64_t LastNumber() const { return fNumber; }
  // Whether the last line got as far as its sender (header.sender), which
  // counts as seen even when a later field fails.
  bool SenderSeen() const { return fSenderSeen; }

 private:
  bool ProcessSubject(QByteArrayView field, TNewsHeader& header);
  bool MatchesFilter(const char* subject, int length) const;

  TArticleDateClock fClock;
  QList<QByteArray> fMatch;  // lower case
  std::int64_t fNumber = 0;
  bool fSenderSeen = false;
  char fSubject[kMaxSubject + 1];
  mutable char fLower[kMaxSubject + 1];
};
