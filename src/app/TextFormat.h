#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

// Displayed numbers, sizes, speeds and durations. Only displayed text follows
// the thousands separator; files always use plain C-locale numbers.

// The separator used by every displayed number (gThousandSeparator).
void SetThousandSeparator(QChar separator);
QChar ThousandSeparator();
// The separator of the user's locale, as the system reports it.
QChar SystemThousandSeparator();

// Integers from 10000 upward (and from -10000 downward) get the separator
// every three digits; smaller ones are written plainly.
QString FormatNumber(std::int64_t value);
// A byte count with two decimals as " KB", " MB", " GB" or " TB".
QString FormatSize(std::int64_t bytes);
// A speed in bytes per second: the size text followed by "/s".
QString FormatSpeed(double bytesPerSecond);
// "hh:mm:ss" (hours may grow past two digits).
QString FormatDuration(std::int64_t seconds);
