// Which slots of an archive hold a period of the meter: a record whose
// checksum holds, whose date is a calendar date, and whose period lies
// between the earliest year an instrument of the family can have written
// and the meter's clock at the read plus one period. Any other slot (a
// clock reset to a year before, a damaged date, arbitrary bytes) is evidence
// of what the memory held, never a period, a newest record or a gap.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "stats/stat_model.hpp"

namespace statvtk {

inline constexpr int kEarliestPlausibleYear = 2000;

enum class SlotVerdict {
  Period,          // a record of a period of the meter
  Blank,           // never written (all zero: not read; all 0xFF: erased)
  Checksum,        // its checksum fails
  NotCalendar,     // its date is no calendar date (a 31st of February, an hour 24, a digit over 9)
  BeforeEarliest,  // dated before kEarliestPlausibleYear
  AfterClock,      // dated after the meter's clock at the read (plus one period)
  Damaged,         // its checksum holds, its values no meter can hold (RecordPlausible)
};
// "period", "blank", "checksum", "not_calendar", "before_earliest", "after_clock", "damaged"
std::string_view SlotVerdictName(SlotVerdict verdict);

// Calendar seconds since 1970-01-01 00:00 of a time (no time zone).
long long CalendarSecondsOf(int year, int month, int day, int hour, int minute = 0, int second = 0);

// The meter's clock in the header read with the archive, as calendar
// seconds (the VTK models: to the second; LDN-08: its hour stamp), and how
// fine it is; empty when its fields are no date.
struct MeterClock {
  long long seconds = 0;
  long long resolution = 1;
};
std::optional<MeterClock> MeterClockOf(const StatModel& model);

// The length of one period of the archive in seconds (a month: 31 days).
long long PeriodSeconds(ArchiveKind kind);

// The verdict on entry `i` of the archive's index. `latest` is the newest
// calendar second a period may start at (the meter's clock plus one period);
// empty: no upper bound is known.
SlotVerdict VerdictOf(const StatModel& model, ArchiveKind kind, std::size_t i, std::optional<long long> latest);

// The bound VerdictOf takes for an archive: the meter's clock plus one
// period, else `fallback` (e.g. the reading PC's local time) plus one period.
std::optional<long long> LatestPeriodStart(const StatModel& model, ArchiveKind kind,
                                           std::optional<long long> fallback = std::nullopt);

}  // namespace statvtk
