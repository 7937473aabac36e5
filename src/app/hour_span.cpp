#include "app/hour_span.hpp"

#include <algorithm>

#include "base/device_values.hpp"

namespace statvtk::app {

namespace {

CivilTime CivilOf(long long seconds) { return DeviceTimeToCivil(static_cast<std::uint32_t>(std::max(0LL, seconds))); }

}  // namespace

HourSpan HourSpanOf(long long from, long long to) {
  const CivilTime a = CivilOf(from);
  const CivilTime b = CivilOf(std::max(from, to));
  HourSpan span{.first = {a.year, a.month, a.day}, .last = {b.year, b.month, b.day}, .hours = {}};
  if (span.OneDay())
    for (int h = a.hour; h <= b.hour; ++h) span.hours << QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0'));
  return span;
}

QString HourDateText(long long seconds) {
  const CivilTime t = CivilOf(seconds);
  return QString::fromStdString(ShortDateText(t.day, t.month, t.year)) +
         QStringLiteral(" %1:00").arg(t.hour, 2, 10, QLatin1Char('0'));
}

}  // namespace statvtk::app
