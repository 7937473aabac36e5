// One page of the fleet for the page and GET /api/instruments?page=: the
// instruments filtered (state, line, a text), sorted (worst first by
// default, as the page always did) and cut to a page, with the whole
// fleet's states and lines counted beside them. Linear in the fleet; only
// the page's rows are made into JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "collect/fleet/health.hpp"
#include "collect/views/instrument_view.hpp"

namespace statvtk::collect {

enum class FleetSort { State, Name, Line, Read };

struct FleetFilter {
  std::vector<Health> states;  // empty: any
  std::string line;            // exact; empty: any
  std::string text;            // a part of the name, serial or line, case aside; empty: any
};

struct PageAsked {
  std::size_t page = 1;  // from 1
  std::size_t per = 50;
};

// The page's rows after the filter and the sort:
// {"page", "per", "pages", "total" (matching), "fleet" (all), "states":
// [{"health", "text", "rank", "count"}] worst first, "lines": [{"line",
// "instruments", "down", "held_by", "states", "last_failure"}] (a line is
// down when each of its two or more instruments failed its latest read),
// "rows": [InstrumentJson]}.
Json FleetPageJson(std::vector<InstrumentView> fleet, const FleetFilter& filter, FleetSort sort, PageAsked asked);

// The text lower-cased (ASCII and Cyrillic), for a search that ignores case.
std::string Folded(std::string_view text);
// Names compared as people read them: runs of digits by their value
// ("счётчик-9" before "счётчик-10"), the rest byte by byte.
int NaturalCompare(std::string_view a, std::string_view b);

}  // namespace statvtk::collect
