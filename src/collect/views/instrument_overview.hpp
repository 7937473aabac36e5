// One instrument's picture for the page: the volumes of its last days (a bar
// each) and the gaps of its hourly and daily archives within that window.
#pragma once

#include <string>

#include "collect/views/json_shapes.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// {"serial", "days": [{"day", "volume" (m3, null: no record), "hours"}],
//  "gaps": [{"archive", "from", "to", "missing"}], "newest": {"hourly", "daily"}}
// over the `days` days ending with the hour `untilPeriod`. A day's volume is
// the sum of its hourly increments, else its daily record's increment. Gaps
// are the runs of periods missing between the oldest and newest held ones.
Result<Json> InstrumentOverview(store::RecordStore& store, const std::string& serial, int days,
                                const std::string& untilPeriod);

}  // namespace statvtk::collect
