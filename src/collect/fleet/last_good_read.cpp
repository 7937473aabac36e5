#include "collect/fleet/last_good_read.hpp"

#include "collect/config/identity.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

std::optional<std::time_t> LastGoodRead(store::RecordStore& s, const Config& cfg, const InstrumentConfig& in) {
  const LineConfig* line = cfg.Line(in.line);
  // A shared line's reads count whichever collector made them.
  const std::optional<std::string> origin =
      line && line->shared ? std::nullopt : std::optional<std::string>(OriginOf(cfg.collector.origin));
  auto good = s.Reads({"", in.name, 1, true, line ? line->name : in.line, origin});
  if (!good || good->empty()) return std::nullopt;
  return store::ParseUtc(good->front().endedUtc);
}

}  // namespace statvtk::collect
