#include "collect/fleet/scheduler.hpp"

#include <algorithm>

#include "collect/config/identity.hpp"
#include "collect/fleet/schedule.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

bool TakeDue(Due& d, std::time_t now) {
  if (d.at > now) return false;
  // Now, or the window's next opening when now is outside it.
  const std::time_t open = FirstDue(*d.in, std::nullopt, now);
  if (open <= now) return true;
  d.at = open;
  return false;
}

void AfterRead(const CollectorConfig& c, Due& d, ReadEnd end, std::time_t after) {
  if (end == ReadEnd::Good) {
    d.failures = 0;
    d.lastGood = after;
    d.at = NextDue(*d.in, after);
  } else if (end == ReadEnd::Failed) {
    ++d.failures;
    d.at = FirstDue(*d.in, std::nullopt, after + RetryPause(c, *d.in, d.failures));
  }
}

std::time_t ResumeAt(const CollectorConfig& c, const InstrumentConfig& in, const StoredReads& r, std::time_t now) {
  if (r.failuresInRow > 0 && r.lastFailure)
    return FirstDue(in, std::nullopt, std::max<std::time_t>(now, *r.lastFailure + RetryPause(c, in, r.failuresInRow)));
  return std::max<std::time_t>(now, FirstDue(in, r.lastGood, now));
}

std::string OwnLine(const Config& cfg, const InstrumentConfig& in) {
  const LineConfig* line = cfg.Line(in.line);
  return line ? line->name : in.line;
}

std::optional<store::ReadRow> LastGood(store::RecordStore& s, const Config& cfg, const InstrumentConfig& in) {
  const LineConfig* line = cfg.Line(in.line);
  // A shared line's reads count whichever collector made them.
  const std::optional<std::string> origin =
      line && line->shared ? std::nullopt : std::optional<std::string>(OriginOf(cfg.collector.origin));
  auto good = s.Reads({"", in.name, 1, true, OwnLine(cfg, in), origin});
  if (!good || good->empty()) return std::nullopt;
  return std::move(good->front());
}

std::vector<Due> Resume(store::RecordStore& s, const Config& cfg, const std::vector<const InstrumentConfig*>& list,
                        std::time_t now) {
  std::vector<store::ReadRunKey> keys;
  for (const auto* in : list) keys.push_back({in->name, OwnLine(cfg, *in)});
  const auto runs = s.ReadRuns(keys);
  const bool haveRuns = runs && runs->size() == keys.size();
  std::vector<Due> out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    StoredReads r;
    if (const auto good = LastGood(s, cfg, *list[i])) r.lastGood = store::ParseUtc(good->endedUtc);
    if (haveRuns) {
      r.failuresInRow = static_cast<int>((*runs)[i].failuresInRow);
      if (const auto& f = (*runs)[i].lastFailure)
        r.lastFailure = store::ParseUtc(f->endedUtc.empty() ? f->startedUtc : f->endedUtc);
    }
    out.push_back({list[i], ResumeAt(cfg.collector, *list[i], r, now), r.failuresInRow, r.lastGood});
  }
  return out;
}

}  // namespace statvtk::collect
