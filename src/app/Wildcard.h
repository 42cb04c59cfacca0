#pragma once

#include <QByteArrayView>
#include <QStringView>

// "*" matches any run of characters including none, "?" any one character,
// every other character itself, case-sensitively (callers lower-case both).
bool MatchWildcard(QStringView pattern, QStringView text);
bool MatchWildcard(QByteArrayView pattern, QByteArrayView text);
