// The JSON shapes of the call log and of the pools' modems.
#pragma once

#include "base/json_text.hpp"
#include "collect/fleet/modem_figures.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// {"id", "origin", "pool", "device", "line", "phone", "dialed_utc",
// "connected_utc" (null: never connected), "ended_utc", "outcome",
// "seconds" (connected seconds: CONNECT to the hang-up's OK)}
Json CallJson(const store::CallRow& c);
// {"pool", "device", "calls" {outcome: n}, "connected_seconds", "calls_today",
// "connected_today", "minutes_today", "set_aside", "set_aside_why"}
Json ModemJson(const ModemFigure& m);

}  // namespace statvtk::collect
