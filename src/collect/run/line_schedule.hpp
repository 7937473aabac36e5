// A pooled line's schedule and its reads when due, for `once` and `run`,
// by the one scheduler (fleet/scheduler): the schedule as the store says (a
// restart keeps it), the instruments due now read, each then due again at
// its next period or after a growing pause. Reschedule serves the modem
// pools and the call-in lines too.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "collect/fleet/fleet_figures.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/line_pool.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

// The instruments of each line the line pool reads (not a modem pool's, not
// an incoming line's), by the line's name.
std::map<std::string, std::vector<const InstrumentConfig*>> ByLine(const Config& cfg);

// The schedule of `instruments` as the store says (the scheduler's Resume):
// a restart keeps it, each instrument due as its last good read says, or
// after the failures since it the retry pause, as `status` says; the
// figures (if any) told.
std::vector<Due> LineSchedule(const Config& cfg, const std::vector<const InstrumentConfig*>& instruments,
                              StoreWriter& writer, FleetFigures* figures);

// After a read of `asked` on `line` (any kind of line): each instrument's
// turn by the scheduler's AfterRead, and the figures (if any) told. One the
// read could not even start (its store rows) counts as failed; one whose
// lease was lost (another collector reads it now) is left as it was.
void Reschedule(const Config& cfg, const std::string& line, std::vector<Due>& due,
                const std::vector<const InstrumentConfig*>& asked, const std::vector<InstrumentPass>& passes,
                FleetFigures* figures);

// Reads the instruments of `due` that are due now; instruments marked silent
// come last: their time-outs do not hold up the ones that answer.
// False: the line's lease (`epoch`, 0 for an own line) was found lost.
bool ReadDueNow(const Config& cfg, const LineConfig& line, std::vector<Due>& due, const std::filesystem::path& home,
                StoreWriter& writer, const PassLog& lineLog, std::atomic<bool>& stop, std::int64_t epoch,
                FleetFigures& figures);

}  // namespace statvtk::collect
