#include "reading/read_job.hpp"

#include <algorithm>

namespace statvtk {

ModemDialJob ModemDialJobFrom(const ConnectionSettings& s) {
  ModemDialJob job;
  job.phoneNo = s.phoneNo;
  job.pulse = !s.tone;
  job.attempts = std::clamp(s.reconnects, 0, 255);
  job.connectWaitS = std::clamp(s.connectWaitS, 1, 255);
  job.initString = s.initString;
  job.modem = s.connectMode == ConnectMode::Modem;
  return job;
}

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

StatisticsPlan PlanOfChoice(const ReadChoice& c, const std::filesystem::path& dataFolder) {
  StatisticsPlan p;
  // A new-records read wins over "all", "all" over "last".
  p.range = c.readNew    ? RecordRange::New
            : c.readAll  ? RecordRange::All
            : c.readLast ? RecordRange::Last
                         : RecordRange::None;
  p.kinds = c.kinds;
  if (c.hours != 0) p.lastHours = c.hours + 1;
  if (c.days != 0) p.lastDays = c.days + 1;
  p.base = NewestIn{dataFolder};
  return p;
}

}  // namespace statvtk
