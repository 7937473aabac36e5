// The routes that page through the fleet: GET /api/instruments with paging
// parameters, GET /api/completeness and GET /api/read-rates. Their
// parameters are checked here (a wrong one: 400); the views make the JSON.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "collect/fleet/fleet_live.hpp"
#include "collect/http/api.hpp"
#include "collect/views/fleet_page.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

inline constexpr std::size_t kRowsPerPage = 50;      // per= when not given
inline constexpr std::size_t kMaxRowsPerPage = 200;  // a larger per= is cut to this
inline constexpr int kCompletenessDays = 31;         // days= when not given
inline constexpr int kMaxCompletenessDays = 62;

// page= and per= of `query` into `asked` (per= above the maximum is cut to
// it); the reason when one is wrong.
std::optional<std::string> PageOf(const QueryParams& query, PageAsked& asked);
// q= of `query` folded into `text` (none: unchanged); the reason when too long.
std::optional<std::string> SearchOf(const QueryParams& query, std::string& text);

// ?page=N&per=M&state=down,never&line=L&q=TEXT&sort=state|name|line|read
// over the fleet as `live` shows it (its clock set).
HttpAnswer InstrumentsPage(store::RecordStore& db, const FleetLive& live, const QueryParams& query);
// ?days=D&page=N&per=M&q=TEXT, the days ending with the hour `untilPeriod`.
HttpAnswer CompletenessPage(store::RecordStore& db, const std::string& untilPeriod, const QueryParams& query);
// ?days=D, the UTC days ending with `now`'s.
HttpAnswer ReadRates(store::RecordStore& db, std::chrono::system_clock::time_point now, const QueryParams& query);

}  // namespace statvtk::collect
