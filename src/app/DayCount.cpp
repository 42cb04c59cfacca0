#include "app/DayCount.h"

#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
}  // namespace

double DateTimeToDays(const QDateTime& moment) {
  if (!moment.isValid()) return 0.0;
  const QDateTime local = moment.toLocalTime();
  const double days = static_cast<double>(kEpoch.daysTo(local.date()));
  const double ms = static_cast<double>(local.time().msecsSinceStartOfDay());
  return days + ms / kMsPerDay;
}

QDateTime DaysToDateTime(double days) {
  // About 10,000 years either side covers every real date and keeps the arithmetic exact.
  if (!std::isfinite(days) || days < -700000.0 || days > 3000000.0) return {};
  const double whole = std::floor(days);
  auto ms = static_cast<qint64>(std::llround((days - whole) * kMsPerDay));
  QDate date = kEpoch.addDays(static_cast<qint64>(whole));
  if (ms >= static_cast<qint64>(kMsPerDay)) {
    date = date.addDays(1);
    ms = 0;
  }
  return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double NowAsDays() { return DateTimeToDays(QDateTime::currentDateTime()); }

QString DaysToText(double days) { return QString::number(days, 'g', 17); }

double DaysFromText(const QString& text, bool* ok) {
  bool parsed = false;
  const double v = text.trimmed().toDouble(&parsed);
  const bool good = parsed && std::isfinite(v);
  if (ok) *ok = good;
  return good ? v : 0.0;
}
