// The checks made on every read, each a finding and never a silent fix:
// totals that go down, an increment that disagrees with the difference of
// totals, and the instrument's clock off the PC's.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "stats/stat_model.hpp"
#include "store/record_store.hpp"

namespace statvtk::store {

// Findings among the records of one archive (any order; checked in period
// order): a total below the one of the record before it; a known increment
// of a record right after the one before it (the next period) that differs
// from the difference of their totals by more than `tolerance` m³.
std::vector<FindingRow> CheckRecords(std::vector<RecordRow> records, double tolerance = 0.0015);

// The instrument's clock at the read as calendar seconds (the VTK models:
// the RTC block to the second; LDN-08: its hour stamp, minutes unknown), and
// how fine it is in seconds (1 or 3600). Empty when its fields are no date.
struct DeviceClock {
  long long seconds = 0;  // since 1970-01-01 00:00 of the same calendar (no time zone)
  long long resolution = 1;
};
std::optional<DeviceClock> DeviceClockOf(const StatModel& model);

// How far the instrument's clock is off the PC's local time `pcTime`, in
// seconds (ahead: above 0; an hour stamp measured from its middle), and the
// slack its resolution leaves; none when its fields are no date.
struct ClockOffset {
  long long seconds = 0;
  long long slack = 0;
  bool Beyond(long long limitS) const { return std::llabs(seconds) > limitS + slack; }
};
std::optional<ClockOffset> ClockOffsetOf(const StatModel& model, std::time_t pcTime);

// A clock-off finding when the instrument's clock and the PC's local time
// `pcLocal` differ by more than `limitS` (plus the clock's resolution). Its
// period is the PC's hour of the read (UTC), so one per read hour at most.
std::optional<FindingRow> CheckClock(const StatModel& model, std::time_t pcTime, long long limitS);

}  // namespace statvtk::store
