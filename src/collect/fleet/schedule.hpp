// When an instrument is due: its interval and offset in the PC's local time,
// its night window, and the growing pause after failures.
#pragma once

#include <ctime>
#include <optional>

#include "collect/config/collect_config.hpp"

namespace statvtk::collect {

// The first due time after a good read at `after` (epoch seconds): offset +
// k * every in local calendar seconds, the first such time inside the window
// when there is one; an interval of a day or more with a window reads once a
// window, at the first opening at least the interval after the window of the
// read (Every=1d: the next night).
std::time_t NextDue(const InstrumentConfig& in, std::time_t after);

// When a collector that starts at `now` first reads the instrument: as its
// schedule says from the last good read the store holds; never read, or
// overdue: now, or the window's next opening when now is outside it.
std::time_t FirstDue(const InstrumentConfig& in, std::optional<std::time_t> lastGood, std::time_t now);

// The pause after the n-th failure in a row (n >= 1): first, 2×first, 4×first
// ... up to the instrument's interval. An instrument silent (n >= silentAfter)
// is tried once per interval.
long long RetryPause(const CollectorConfig& c, const InstrumentConfig& in, int failures);

}  // namespace statvtk::collect
