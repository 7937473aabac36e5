#include "collect/fleet/health.hpp"

#include <algorithm>

#include "collect/fleet/schedule.hpp"

namespace statvtk::collect {

std::string_view HealthName(Health h) {
  switch (h) {
    case Health::Ok: return "ok";
    case Health::Late: return "late";
    case Health::Down: return "down";
    case Health::Never: return "never";
    case Health::Clock: return "clock";
  }
  return "never";
}

std::string_view HealthWords(Health h) {
  switch (h) {
    case Health::Ok: return "В норме";
    case Health::Late: return "Запаздывает";
    case Health::Down: return "Нет связи";
    case Health::Never: return "Не читался";
    case Health::Clock: return "часы прибора";
  }
  return "Не читался";
}

int HealthRank(Health h) {
  switch (h) {
    case Health::Down: return 0;
    case Health::Never: return 1;
    case Health::Clock: return 2;
    case Health::Late: return 3;
    case Health::Ok: return 4;
  }
  return 0;
}

Health HealthOf(const HealthFacts& f, std::chrono::system_clock::time_point now) {
  if (!f.lastGood) return Health::Never;
  const std::int64_t every = std::max<std::int64_t>(1, f.everyS);
  const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - *f.lastGood).count();
  if (f.failuresInRow >= f.silentAfter || age > 3 * every) return Health::Down;
  if (f.clockOff) return Health::Clock;
  if (f.hourlyCompleteness < 50) return Health::Down;
  if (f.failuresInRow > 0 || age > every + every / 2 || f.hourlyCompleteness < 95) return Health::Late;
  return Health::Ok;
}

std::time_t NextRead(const CollectorConfig& c, const InstrumentConfig& in, std::optional<std::time_t> lastGood,
                     int failuresInRow, std::optional<std::time_t> lastFailure, std::time_t now) {
  if (failuresInRow > 0 && lastFailure)
    return std::max<std::time_t>(now, *lastFailure + RetryPause(c, in, failuresInRow));
  return std::max<std::time_t>(now, FirstDue(in, lastGood, now));
}

}  // namespace statvtk::collect
