#include "app/TextFormat.h"

#include <QLocale>

#include <atomic>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
std::atomic<char16_t> gSeparator{u','};
}  // namespace

void SetThousandSeparator(QChar separator) { gSeparator.store(separator.unicode()); }

QChar ThousandSeparator() { return QChar(gSeparator.load()); }

QChar SystemThousandSeparator() {
  const QString group = QLocale::system().groupSeparator();
  return group.isEmpty() ? QChar(u',') : group.at(0);
}

QString FormatNumber(std::int64_t value) {
  QString digits = QString::number(value);
  if (value > -10000 && value < 10000) return digits;
  const QChar sep = ThousandSeparator();
  const int firstDigit = value < 0 ? 1 : 0;
  for (qsizetype i = digits.size() - 3; i > firstDigit; i -= 3) digits.insert(i, sep);
  return digits;
}

QString FormatSize(std::int64_t bytes) {
  static const char* const kUnits[] = {" KB", " MB", " GB", " TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (unit < 3 && (value >= 1024.0 || value <= -1024.0)) {
    value /= 1024.0;
    ++unit;
  }
  return QString::number(value, 'f', 2) + QLatin1String(kUnits[unit]);
}

QString FormatSpeed(double bytesPerSecond) {
  return FormatSize(static_cast<std::int64_t>(bytesPerSecond)) + u"/s"_s;
}

QString FormatDuration(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60));
  return QString::fromLatin1(buffer);
}
