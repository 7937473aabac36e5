// Counts per day for the completeness view: the hourly records an
// instrument holds on each day, and the reads of each line and modem pool
// by day and outcome. Each is one statement whatever the number of days.
#pragma once

#include <cstdint>
#include <string>

namespace statvtk::store {

// One instrument's hourly records of one day ("YYYY-MM-DD", its own time).
// A row with `hours` < 0 is instead the instrument's oldest hourly period
// ever held (in `day`, the whole period text).
struct DayCount {
  std::string serial, day;
  std::int64_t hours = 0;
};

// The reads started on one UTC day ("YYYY-MM-DD") on a line, or on the lines
// a modem pool called (`pool` true): how many, and how many ended well.
struct ReadDayCount {
  bool pool = false;
  std::string group, day;
  std::int64_t reads = 0, done = 0;
};

}  // namespace statvtk::store
