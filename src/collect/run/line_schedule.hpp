// A pooled line's schedule and its reads when due, for `once` and `run`:
// the schedule as the store says (a restart keeps it), the instruments due
// now read, each then due again at its next period or after a growing pause.
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

// The line's schedule as the store says: a restart keeps it, each
// instrument due as its last good read says, or after the failures since it
// the retry pause, as `status` says.
std::vector<Due> LineSchedule(const Config& cfg, const LineConfig& line,
                              const std::vector<const InstrumentConfig*>& instruments, StoreWriter& writer,
                              FleetFigures& figures);

// Reads the instruments of `due` that are due now; instruments marked silent
// come last: their time-outs do not hold up the ones that answer.
// False: the line's lease (`epoch`, 0 for an own line) was found lost.
bool ReadDueNow(const Config& cfg, const LineConfig& line, std::vector<Due>& due, const std::filesystem::path& home,
                StoreWriter& writer, const PassLog& lineLog, std::atomic<bool>& stop, std::int64_t epoch,
                FleetFigures& figures);

}  // namespace statvtk::collect
