// A record's period as the store keeps it ("YYYY-MM-DD HH:00" hourly,
// "YYYY-MM-DD" daily, "YYYY-MM" monthly, the instrument's own time), the
// calendar steps between periods and the gaps in a run of them. Every hour of
// the calendar exists: the instruments keep one time all year, so a PC's DST
// change is neither a gap nor a duplicate.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stats/stat_model.hpp"

namespace statvtk::store {

struct PeriodTime {
  int year = 2000, month = 1, day = 1, hour = 0;
};

std::string PeriodText(ArchiveKind kind, const PeriodTime& t);
// The period's time (fields below the archive's unit 0 or 1), or empty for a
// text that is not one of the archive's.
std::optional<PeriodTime> ParsePeriod(ArchiveKind kind, std::string_view text);
// The period that holds hour `t` in the archive.
inline std::string PeriodOf(ArchiveKind kind, const PeriodTime& t) { return PeriodText(kind, t); }

// The period `n` steps after (n < 0: before) `t` in the archive's unit.
PeriodTime StepPeriod(ArchiveKind kind, PeriodTime t, long n);
// Steps from `a` to `b` (negative when b is earlier).
long PeriodsBetween(ArchiveKind kind, const PeriodTime& a, const PeriodTime& b);

// Every period of [from, to] (inclusive) of the archive, in order.
std::vector<std::string> PeriodRange(ArchiveKind kind, const PeriodTime& from, const PeriodTime& to);
// The periods of [from, to] that `held` (ascending texts) lacks, in order.
std::vector<std::string> MissingPeriods(ArchiveKind kind, const std::vector<std::string>& held, const PeriodTime& from,
                                        const PeriodTime& to);

// A run of missing periods: first and last, inclusive.
struct PeriodSpan {
  std::string first, last;
  long count = 0;
};
// Consecutive missing periods joined into spans.
std::vector<PeriodSpan> JoinSpans(ArchiveKind kind, const std::vector<std::string>& missing);

// A calendar time from a std::tm (local or UTC) and days since 1970-01-01.
PeriodTime PeriodTimeOf(const std::tm& tm);
long DaysFromCivil(int year, int month, int day);

// Calendar seconds since 1970-01-01 of a time (no time zone).
long long CalendarSeconds(const PeriodTime& t, int minute = 0, int second = 0);
PeriodTime TimeOfCalendarSeconds(long long s);
// The moment of a "YYYY-MM-DDTHH:MM:SSZ" text; empty for another text.
std::optional<std::time_t> ParseUtc(std::string_view text);

// "YYYY-MM-DDTHH:MM:SSZ" of a moment; now.
std::string UtcText(std::time_t t);
std::string UtcNow();

}  // namespace statvtk::store
