// How an instrument is doing, by one rule for the page, the REST API,
// `status`, /metrics and the alerts: its state from the age of its last good
// read against its own interval, the failed reads since, its hourly
// completeness and its clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

namespace statvtk::collect {

// "ok" (green), "late" (amber), "down" (red), "never" (red: never read),
// "clock" (amber: it answers, but its clock_drift situation is open: its
// clock off by more than ClockDrift=, so its hourly values belong to other hours).
enum class Health { Ok, Late, Down, Never, Clock };
std::string_view HealthName(Health h);
// The state in the words of the page and of `status`.
std::string_view HealthWords(Health h);
// Its rank for sorting, 0 the worst: the page takes words and rank from the
// data, so a new state needs no change there.
int HealthRank(Health h);

struct HealthFacts {
  std::optional<std::chrono::system_clock::time_point> lastGood;  // empty: never read
  std::int64_t everyS = 3600;                                     // the instrument's own interval (Every=)
  double hourlyCompleteness = 100;
  int failuresInRow = 0;  // reads since the last good one
  int silentAfter = 3;    // SilentAfter=: failures in a row that make it silent, that is down
  bool clockOff = false;  // its clock_drift situation is open
};

// The one rule of "down", for the page, /metrics, the alerts and the lines:
// silent (failuresInRow >= silentAfter), read or not; or read, and its last
// good read older than three intervals, or (its clock right) less than half
// of its hours held.
bool IsDown(const HealthFacts& f, std::chrono::system_clock::time_point now);

// Never read: never (down if also silent, by IsDown). Down by IsDown: down.
// Its clock off: clock. A failure since the last good read, the read older
// than one and a half intervals, or less than 95 % of its hours: late.
Health HealthOf(const HealthFacts& f, std::chrono::system_clock::time_point now);

}  // namespace statvtk::collect
