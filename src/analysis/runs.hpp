// Runs of consecutive periods: what the flag situations and most rules are
// made of. A missing period ends a run (no data is never a period of it).
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/meter_records.hpp"
#include "analysis/situations.hpp"

namespace statvtk::analysis::detail {

inline constexpr long long kHour = 3600, kDay = 86400;

// Calls take(first, last) for each run of periods, each `step` seconds after
// the one before, for which holds(i) is true.
template <class Holds, class Take>
void ForEachRun(const std::vector<Period>& p, long long step, Holds holds, Take take) {
  std::size_t i = 0;
  while (i < p.size()) {
    if (!holds(i)) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < p.size() && p[j + 1].start == p[j].start + step && holds(j + 1)) ++j;
    take(i, j);
    i = j + 1;
  }
}

// The situation of a run of periods first..last of `p` (hourly, or daily
// when `step` is a day: from the first day's 00:00 to the last day's 23:00);
// open when the run reaches the newest period.
inline Situation RunSituation(SituationKind kind, SituationSource source, const std::vector<Period>& p,
                              std::size_t first, std::size_t last, long long step) {
  Situation s;
  s.kind = kind;
  s.source = source;
  s.from = p[first].start;
  const long long count = static_cast<long long>(last - first + 1);
  s.hours = step == kDay ? 24 * count : count;
  if (last + 1 < p.size()) s.to = p[last].start + (step == kDay ? kDay - kHour : 0);
  return s;
}

// The start of the hour a time falls in.
inline long long HourOf(long long seconds) { return seconds - ((seconds % kHour) + kHour) % kHour; }

}  // namespace statvtk::analysis::detail
