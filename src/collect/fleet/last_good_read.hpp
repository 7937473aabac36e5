// When an instrument of collect.ini last read well, as the store says: its
// reads are those of its name on its line at this collector.
#pragma once

#include <ctime>
#include <optional>

#include "collect/config/collect_config.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// The end of the instrument's last good read; nullopt: none held (or the
// store did not answer: the instrument is then due at once).
std::optional<std::time_t> LastGoodRead(store::RecordStore& s, const Config& cfg, const InstrumentConfig& in);

}  // namespace statvtk::collect
