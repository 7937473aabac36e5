#include "collect/http/calls.hpp"

#include <cmath>

#include "base/utf8.hpp"
#include "collect/views/periods.hpp"

namespace statvtk::collect {

Json CallJson(const store::CallRow& c) {
  Json j{{"id", c.id},
         {"origin", ValidUtf8(c.origin)},
         {"pool", ValidUtf8(c.pool)},
         {"device", ValidUtf8(c.device)},
         {"line", ValidUtf8(c.line)},
         {"phone", ValidUtf8(c.phone)},
         {"dialed_utc", c.dialedUtc},
         {"connected_utc", nullptr},
         {"ended_utc", c.endedUtc},
         {"outcome", ValidUtf8(c.outcome)},
         {"seconds", 0.0}};
  if (!c.connectedUtc.empty()) {
    j["connected_utc"] = c.connectedUtc;
    const auto a = UtcMillisOf(c.connectedUtc), b = UtcMillisOf(c.endedUtc);
    if (a && b && *b >= *a) j["seconds"] = static_cast<double>(*b - *a) / 1000.0;
  }
  return j;
}

Json ModemJson(const ModemFigure& m) {
  Json calls = Json::object();
  for (const auto& [outcome, n] : m.calls) calls[ValidUtf8(outcome)] = n;
  return Json{{"pool", ValidUtf8(m.pool)},
              {"device", ValidUtf8(m.device)},
              {"calls", calls},
              {"connected_seconds", std::round(m.connectedSeconds * 1000.0) / 1000.0},
              {"calls_today", m.callsToday},
              {"connected_today", m.connectedToday},
              {"minutes_today", std::round(m.secondsToday / 6.0) / 10.0},
              {"set_aside", m.setAside},
              {"set_aside_why", ValidUtf8(m.setAsideWhy)}};
}

}  // namespace statvtk::collect
