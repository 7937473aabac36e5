// Local calendar time of a moment, the one place that asks the system for it
// (localtime_r on POSIX, localtime_s on Windows).
#pragma once

#include <chrono>
#include <ctime>

namespace statvtk {

std::tm LocalTime(std::time_t t);
inline std::tm LocalTime(std::chrono::system_clock::time_point t) {
  return LocalTime(std::chrono::system_clock::to_time_t(t));
}
// The current local time.
inline std::tm LocalNow() { return LocalTime(std::time(nullptr)); }

}  // namespace statvtk
