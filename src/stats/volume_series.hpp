// The volumes a statistics window charts: V+ and V- increments per hour of the
// chosen day (hourly mode), per chosen day (daily mode) or per month (monthly
// mode), taken from the valid records of the window's model.
#pragma once

#include <string>
#include <vector>

#include "stats/stat_window.hpp"

namespace statvtk {

struct VolumeBar {
  std::string label;   // "00".."23", "DD.MM" or "MM.YY"
  double forward = 0;  // V+ increment over the period, m³
  double reverse = 0;  // V- increment over the period, m³
  int records = 0;     // valid records summed into it (0: no data for the period)
  int unknown = 0;     // of those, records without an increment (they add nothing)
  // Whether the bar has a value: a period whose records all lack an increment has none.
  bool HasValue() const { return records > unknown; }
};

struct VolumeSeries {
  std::string title;            // what the chart shows, e.g. "Объемы по часам 14.06.24"
  std::vector<VolumeBar> bars;  // in time order
  int unknown = 0;              // records of all bars without an increment
  std::string note;             // "Записей без приращения: N" when N > 0, else empty
};

// Hourly mode: 24 bars of the selected day (none when no day is selected).
// Daily mode: one bar per selected day. Monthly mode: one bar per selected
// month, every listed month when none is selected. A period's bar sums the
// increments of all its valid records, so a duplicate record adds nothing
// twice: each increment is taken against the record before it. A record
// without an increment (the oldest one, or one after a gap that was not
// read) adds nothing and is counted in `unknown`. An image without a valid
// record gives no bars and kNoValidRecordText as the title.
VolumeSeries VolumeSeriesOf(const StatWindowModel& window);

}  // namespace statvtk
