#include "collect/fleet/schedule.hpp"

#include <algorithm>

#include "base/local_time.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

long long LocalSeconds(std::time_t t) {
  const std::tm tm = LocalTime(t);
  return store::CalendarSeconds(store::PeriodTimeOf(tm), tm.tm_min, tm.tm_sec);
}

}  // namespace

namespace {

constexpr long long kDay = 86400;

long long DayStart(long long local) { return local - ((local % kDay) + kDay) % kDay; }
int MinuteOfDay(long long local) { return static_cast<int>(((local % kDay) + kDay) % kDay / 60); }

// The window's latest opening at or before `local` (all in local seconds).
long long OpeningAtOrBefore(const TimeWindow& w, long long local) {
  const long long opening = DayStart(local) + w.from * 60LL;
  return opening <= local ? opening : opening - kDay;
}

// The first opening of the window at or after `local`.
long long OpeningAtOrAfter(const TimeWindow& w, long long local) {
  const long long opening = DayStart(local) + w.from * 60LL;
  return opening >= local ? opening : opening + kDay;
}

// A day or more apart: a read per window, the first window opening at least
// the interval after the window of the last read (Every=1d: the next night).
long long DueByWindow(const InstrumentConfig& in, long long local) {
  return OpeningAtOrAfter(*in.window, OpeningAtOrBefore(*in.window, local) + in.everyS);
}

// Shorter intervals keep their grid (offset + k * every), the first grid time
// inside the window; a window no grid time falls in is read at its opening.
long long DueOnGrid(const InstrumentConfig& in, long long local) {
  const long long every = std::max(1LL, in.everyS);
  long long due = in.offsetS + ((local - in.offsetS) / every + 1) * every;
  if (!in.window) return due;
  for (; due <= local + 2 * kDay; due += every)
    if (in.window->Contains(MinuteOfDay(due))) return due;
  return OpeningAtOrAfter(*in.window, local + 1);
}

}  // namespace

std::time_t NextDue(const InstrumentConfig& in, std::time_t after) {
  const long long local = LocalSeconds(after);
  const long long shift = local - static_cast<long long>(after);  // local - UTC
  const long long due = in.window && in.everyS >= kDay ? DueByWindow(in, local) : DueOnGrid(in, local);
  return static_cast<std::time_t>(due - shift);
}

std::time_t FirstDue(const InstrumentConfig& in, std::optional<std::time_t> lastGood, std::time_t now) {
  if (lastGood) {
    if (const std::time_t due = NextDue(in, *lastGood); due > now) return due;
  }
  // Never read, or overdue: now, unless now is outside the window.
  if (!in.window) return now;
  const long long local = LocalSeconds(now);
  if (in.window->Contains(MinuteOfDay(local))) return now;
  return static_cast<std::time_t>(OpeningAtOrAfter(*in.window, local) - (local - static_cast<long long>(now)));
}

long long RetryPause(const CollectorConfig& c, const InstrumentConfig& in, int failures) {
  if (failures >= c.silentAfter) return in.everyS;
  long long pause = c.retryFirstS;
  for (int i = 1; i < failures && pause < in.everyS; ++i) pause *= 2;
  return std::min(pause, in.everyS);
}

}  // namespace statvtk::collect
