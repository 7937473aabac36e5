// When an instrument is due: its interval and offset in the PC's local time,
// its night window, and the growing pause after failures.
#pragma once

#include <ctime>

#include "collect/collect_config.hpp"

namespace statvtk::collect {

// The first due time after `after` (epoch seconds): offset + k * every in
// local calendar seconds, moved into the window when there is one.
std::time_t NextDue(const InstrumentConfig& in, std::time_t after);

// The pause after the n-th failure in a row (n >= 1): first, 2×first, 4×first
// ... up to the instrument's interval. An instrument silent (n >= silentAfter)
// is tried once per interval.
long long RetryPause(const CollectorConfig& c, const InstrumentConfig& in, int failures);

}  // namespace statvtk::collect
