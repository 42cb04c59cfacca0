#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>

// The part counter cut out of a binary post's subject: "(3/12)" or "[3/12]".
struct TPartCounter {
  std::uint16_t part = 0;
  std::uint16_t total = 0;
  std::uint16_t position = 0;  // 1-based place of the removed counter; 0 = none
};

// Finds the part counter of subject[0..length), removes it in place (brackets
// included; the blanks around it stay) and answers the counter and the new
// length. Parentheses are tried before brackets, the last slash first; a
// subject with a slash and brackets but no parentheses has its last "[" and
// "]" read as parentheses. Without a counter the subject is left as it was
// and all fields are 0. Numbers are kept as their low 16 bits; a number of
// more than 9 digits is no counter. Linear in the length, no allocation.
int ParsePartCounter(char* subject, int length, TPartCounter& counter);
TPartCounter ParsePartCounter(QByteArray& subject);

// Removes leading "re:" prefixes (any case) and the blanks after each; true
// when one was removed. A subject left blank becomes "(no subject)".
bool StripReplyPrefixes(QByteArray& subject);

// The file name named in a subject ("name.ext", quoted or not), as a view
// into subject; empty when none. With mustBeQuoted only names followed by a
// double quote count.
QByteArrayView ExtractFileName(QByteArrayView subject, bool mustBeQuoted);

enum TSubjectCompareMode {
  SUBJECT_COMPARE_PLAIN,        // case-insensitive
  SUBJECT_COMPARE_INTELLIGENT,  // counters blanked out first
  SUBJECT_COMPARE_FILENAME,     // extracted file names (or subjects) case-insensitive
};

// The form of a subject that SUBJECT_COMPARE_INTELLIGENT compares: a "[" at
// index 24 or less turns into ")" (one further on ends the scan), a "]" into
// "*", and the text inside a "[...]" that holds a "/" is blanked; leading
// bytes from space to "#" are dropped.
QByteArray IntelligentSortKey(QByteArrayView subject);

// Negative, 0 or positive as a sorts before, with or after b.
int CompareSubjects(QByteArrayView a, QByteArrayView b, TSubjectCompareMode mode, bool filenamesMustBeQuoted = true);

// Whether a single article's subject names a kind of file that always comes
// in one piece: its lower-cased form contains one of strings (empty entries
// and comment lines are ignored; entries match without regard to case).
bool ContainsCompleteMultipartString(QByteArrayView subject, const QList<QByteArray>& strings);
