#include "collect/schedule.hpp"

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

std::time_t NextDue(const InstrumentConfig& in, std::time_t after) {
  const long long shift = LocalSeconds(after) - static_cast<long long>(after);  // local - UTC
  const long long local = LocalSeconds(after);
  const long long every = std::max(1LL, in.everyS);
  long long k = (local - in.offsetS) / every + 1;
  long long due = in.offsetS + k * every;
  if (in.window) {
    // The first due time inside the window, or the window's start.
    for (int i = 0; i < 2 * 86400 / static_cast<int>(std::min(every, 86400LL)) + 2; ++i, due += every) {
      const int minute = static_cast<int>(((due % 86400) + 86400) % 86400 / 60);
      if (in.window->Contains(minute)) break;
    }
    const int minute = static_cast<int>(((due % 86400) + 86400) % 86400 / 60);
    if (!in.window->Contains(minute)) {
      const long long day = due - ((due % 86400) + 86400) % 86400;
      due = day + in.window->from * 60LL;
      if (due <= local) due += 86400;
    }
  }
  return static_cast<std::time_t>(due - shift);
}

long long RetryPause(const CollectorConfig& c, const InstrumentConfig& in, int failures) {
  if (failures >= c.silentAfter) return in.everyS;
  long long pause = c.retryFirstS;
  for (int i = 1; i < failures && pause < in.everyS; ++i) pause *= 2;
  return std::min(pause, in.everyS);
}

}  // namespace statvtk::collect
