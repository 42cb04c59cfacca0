#pragma once

#include <QDateTime>
#include <QString>

// Date-times stored as a floating-point count of days since 30 December 1899,
// the fraction being the time of day, in local time (record files, ini files,
// job files, download lists).
double DateTimeToDays(const QDateTime& moment);
// An invalid QDateTime for values that are not finite or out of any sensible range.
QDateTime DaysToDateTime(double days);
double NowAsDays();
// The value as ini and job files write it: C locale, enough digits to read it back exactly.
QString DaysToText(double days);
// Reads DaysToText's form; ok is false (and 0 returned) for anything else.
double DaysFromText(const QString& text, bool* ok = nullptr);
