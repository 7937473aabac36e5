// The completeness view: a page of meters by the last days, each day the
// hourly records held of its hours; and the reads of each line and modem
// pool per day, how many ended well. One statement for the page's counts,
// one for the reads, whatever the fleet's size.
#pragma once

#include <chrono>
#include <string>

#include "collect/views/fleet_page.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// {"days": ["YYYY-MM-DD", ...] (oldest first, the last one today),
//  "hours_due": [24, ..., hours of today closed], "page", "per", "pages",
//  "total", "rows": [{"serial", "name", "line", "model", "first" (its oldest
//  hourly period; null: none), "hours": [held, or null before its first
//  day]}]} over the `days` days that end with the hour `untilPeriod` (the
// instruments' time now). The meters in line and name order, those whose
// name, serial or line holds `text` (folded; empty: all).
Result<Json> CompletenessJson(store::RecordStore& db, const std::string& untilPeriod, int days, const std::string& text,
                              PageAsked asked);

// {"days": [UTC "YYYY-MM-DD", ...], "lines": [{"line", "reads": [n per day],
//  "done": [n per day]}], "pools": [{"pool", "reads", "done"}]} over the
// `days` UTC days ending with `now`'s. A pool's reads are those of the
// lines its modems called.
Result<Json> ReadRatesJson(store::RecordStore& db, std::chrono::system_clock::time_point now, int days);

}  // namespace statvtk::collect
