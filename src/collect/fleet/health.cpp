#include "collect/fleet/health.hpp"

#include <algorithm>

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

bool IsDown(const HealthFacts& f, std::chrono::system_clock::time_point now) {
  if (f.failuresInRow >= f.silentAfter) return true;
  if (!f.lastGood) return false;
  const std::int64_t every = std::max<std::int64_t>(1, f.everyS);
  const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - *f.lastGood).count();
  return age > 3 * every || (!f.clockOff && f.hourlyCompleteness < 50);
}

Health HealthOf(const HealthFacts& f, std::chrono::system_clock::time_point now) {
  if (!f.lastGood) return Health::Never;
  if (IsDown(f, now)) return Health::Down;
  if (f.clockOff) return Health::Clock;
  const std::int64_t every = std::max<std::int64_t>(1, f.everyS);
  const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - *f.lastGood).count();
  if (f.failuresInRow > 0 || age > every + every / 2 || f.hourlyCompleteness < 95) return Health::Late;
  return Health::Ok;
}

}  // namespace statvtk::collect
