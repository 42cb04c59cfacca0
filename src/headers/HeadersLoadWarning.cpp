#include "headers/HeadersLoadWarning.h"

#include "app/Settings.h"
#include "app/TextFormat.h"
#include "app/UserPrompt.h"

#include <QFile>

#include <cmath>

using namespace Qt::StringLiterals;

std::int64_t EstimateHeadersMemory(std::int64_t count) {
  // Halves round to even.
  const auto blocks = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(count) / 20.0));
  return blocks * 50 + count * 140;
}

std::int64_t FreePhysicalMemory() {
  QFile meminfo(u"/proc/meminfo"_s);
  if (!meminfo.open(QIODevice::ReadOnly)) return 0;
  // "MemAvailable:   12345678 kB": what can be had without swapping.
  const QByteArray text = meminfo.readAll();
  const qsizetype at = text.indexOf("MemAvailable:");
  if (at < 0) return 0;
  const qsizetype end = text.indexOf('\n', at);
  QByteArray value = text.mid(at + 13, end < 0 ? -1 : end - at - 13).trimmed();
  if (value.endsWith("kB")) value.chop(2);
  bool ok = false;
  const qint64 kib = value.trimmed().toLongLong(&ok);
  return ok && kib > 0 ? kib * 1024 : 0;
}

TLoadWarningChoice WarnLoadingHeaders(std::int64_t count, int threshold, int action, std::int64_t freeMemory) {
  if (action == 1) return LOAD_WARNING_LOAD;
  const std::int64_t estimate = EstimateHeadersMemory(count);
  if (count < threshold && estimate < freeMemory) return LOAD_WARNING_LOAD;
  if (action == 2) {
    const QString text = u"You are about to load "_s + FormatNumber(count) +
                         u" headers which require approximately "_s + FormatSize(estimate) +
                         u" of memory. You have "_s + FormatSize(freeMemory) +
                         u" of free memory available. Continue with loading?\r\n\r\n(you can disable or edit this "
                         u"confirmation check from the global settings)"_s;
    return TUserPrompt::Confirm(text) ? LOAD_WARNING_LOAD : LOAD_WARNING_CANCEL;
  }
  if (action == 3) return LOAD_WARNING_SELECT_RANGE;
  return LOAD_WARNING_LOAD;
}

TLoadWarningChoice WarnLoadingHeaders(std::int64_t count) {
  return WarnLoadingHeaders(count, Settings().gLoadHeadersCountThreshold, Settings().gLoadHeadersExceedThresholdAction,
                            FreePhysicalMemory());
}
