#include "reading/read_job.hpp"

#include <algorithm>

namespace statvtk {

LineSpec LineSpecOf(const ConnectionSettings& s) {
  LineSpec spec;
  spec.mode = s.connectMode;
  spec.target = LineTargetOf(s);
  spec.timing = s.Timing();
  spec.baud = s.BaudRate() != 0 ? s.BaudRate() : 9600;
  spec.useMBus = s.useMBus;
  spec.dial = ModemDialJobFrom(s);
  return spec;
}

StatisticsPlan PlanOfChoice(const ReadChoice& c) {
  StatisticsPlan p;
  // A new-records read wins over "all", "all" over "last".
  p.range = c.readNew    ? RecordRange::New
            : c.readAll  ? RecordRange::All
            : c.readLast ? RecordRange::Last
                         : RecordRange::None;
  p.kinds = c.kinds;
  if (c.hours != 0) p.lastHours = c.hours + 1;
  if (c.days != 0) p.lastDays = c.days + 1;
  return p;
}

}  // namespace statvtk
