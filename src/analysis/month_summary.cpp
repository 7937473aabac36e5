// A month's hours for billing: held, without data, with each flag, and the
// operating and error time the meter counted.
#include <algorithm>
#include <array>

#include "analysis/runs.hpp"
#include "base/device_values.hpp"
#include "stats/record_plausible.hpp"

namespace statvtk::analysis {

namespace {

long long MonthStart(int year, int month) { return CalendarSecondsOf(year, month, 1, 0); }

// The hours looked at: from the oldest hourly record to the newest hour due
// by the meter's clock (the hour before the clock's), within the span.
std::optional<std::pair<long long, long long>> HoursLookedAt(const MeterRecords& m, const Settings& s) {
  if (m.hourly.empty()) return std::nullopt;
  long long lo = m.hourly.front().start, hi = m.hourly.back().start;
  if (m.clock) hi = std::max(hi, detail::HourOf(*m.clock) - detail::kHour);
  if (s.from) lo = std::max(lo, detail::HourOf(*s.from));
  if (s.to) hi = std::min(hi, detail::HourOf(*s.to));
  if (lo > hi) return std::nullopt;
  return std::pair{lo, hi};
}

}  // namespace

std::vector<MonthSummary> MonthSummaries(const MeterRecords& m, const Settings& s) {
  std::vector<MonthSummary> out;
  const auto span = HoursLookedAt(m, s);
  if (!span) return out;
  const auto [lo, hi] = *span;
  const auto& h = m.hourly;
  auto k = static_cast<std::size_t>(
      std::lower_bound(h.begin(), h.end(), lo, [](const Period& p, long long t) { return p.start < t; }) - h.begin());
  const CivilTime first = DeviceTimeToCivil(static_cast<std::uint32_t>(lo));
  for (int year = first.year, month = first.month; MonthStart(year, month) <= hi;) {
    const int nextYear = month == 12 ? year + 1 : year, nextMonth = month == 12 ? 1 : month + 1;
    const long long a = std::max(lo, MonthStart(year, month));
    const long long b = std::min(hi, MonthStart(nextYear, nextMonth) - detail::kHour);
    MonthSummary sum;
    sum.year = year;
    sum.month = month;
    sum.hours = (b - a) / detail::kHour + 1;
    std::array<long long, 32> withFlag{};
    double operating = 0, error = 0;
    for (; k < h.size() && h[k].start <= b; ++k) {
      ++sum.held;
      for (std::size_t bit = 0; bit < 32; ++bit) withFlag[bit] += (h[k].flags >> bit) & 1u;
      if (h[k].known) operating += h[k].operating, error += h[k].error;
    }
    sum.missing = sum.hours - sum.held;
    for (std::size_t bit = 0; bit < m.flagNames.size() && bit < 32; ++bit)
      if (!m.flagNames[bit].empty()) sum.flagHours.emplace_back(m.flagNames[bit], withFlag[bit]);
    if (m.countsHours) sum.operatingHours = operating, sum.errorHours = error;
    out.push_back(std::move(sum));
    year = nextYear, month = nextMonth;
  }
  return out;
}

}  // namespace statvtk::analysis
