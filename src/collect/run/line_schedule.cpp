#include "collect/run/line_schedule.hpp"

#include <algorithm>
#include <ctime>

#include "collect/config/identity.hpp"
#include "collect/fleet/health.hpp"
#include "collect/fleet/last_good_read.hpp"
#include "collect/fleet/schedule.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

// The next time of each instrument read in this pass: the next period after
// a read, a growing pause after a failure; one the pass could not even start
// (its store rows) counts as failed.
void Reschedule(const Config& cfg, const LineConfig& line, std::vector<Due>& due,
                const std::vector<const InstrumentConfig*>& asked, const std::vector<InstrumentPass>& passes,
                FleetFigures& figures) {
  const std::time_t after = std::time(nullptr);
  for (auto& d : due) {
    if (std::find(asked.begin(), asked.end(), d.in) == asked.end()) continue;
    const auto p = std::find_if(passes.begin(), passes.end(), [&](const auto& x) { return x.name == d.in->name; });
    if (p != passes.end() && p->leaseLost) continue;  // another collector reads it now: no failure of its
    const ReadOutcome outcome = p == passes.end() ? ReadOutcome::Failed : p->outcome;
    if (outcome == ReadOutcome::Done) {
      d.failures = 0;
      d.at = NextDue(*d.in, after);
    } else if (outcome == ReadOutcome::Failed) {
      ++d.failures;
      d.at = after + RetryPause(cfg.collector, *d.in, d.failures);
    }
    if (outcome != ReadOutcome::Stopped)
      figures.Read(line.name, outcome == ReadOutcome::Done, p == passes.end() ? 0 : p->requests);
    if (outcome == ReadOutcome::Done) figures.Answered(d.in->name);
    else if (outcome == ReadOutcome::Failed && p != passes.end() && p->stored) figures.Failed(d.in->name, p->error);
    figures.Due(d.in->name, d.at);
  }
}

}  // namespace

std::map<std::string, std::vector<const InstrumentConfig*>> ByLine(const Config& cfg) {
  std::map<std::string, std::vector<const InstrumentConfig*>> out;
  for (const auto& in : cfg.instruments) {
    const LineConfig* line = cfg.Line(in.line);
    if (PooledLine(*line)) out[line->name].push_back(&in);
  }
  return out;
}

std::vector<Due> LineSchedule(const Config& cfg, const LineConfig& line,
                              const std::vector<const InstrumentConfig*>& instruments, StoreWriter& writer,
                              FleetFigures& figures) {
  std::vector<Due> due;
  const std::time_t start = std::time(nullptr);
  // The failures of the whole line in one statement.
  std::vector<store::ReadRunKey> keys;
  for (const auto* in : instruments) keys.push_back({in->name, line.name});
  const auto runs = writer.With([&](store::RecordStore& s) { return s.ReadRuns(keys); });
  const bool haveRuns = runs && runs->size() == keys.size();
  for (std::size_t i = 0; i < instruments.size(); ++i) {
    const InstrumentConfig* in = instruments[i];
    const auto last = writer.With([&](store::RecordStore& s) { return LastGoodRead(s, cfg, *in); });
    int failures = 0;
    std::optional<std::time_t> lastFailure;
    if (haveRuns) {
      failures = static_cast<int>((*runs)[i].failuresInRow);
      if (const auto& f = (*runs)[i].lastFailure)
        lastFailure = store::ParseUtc(f->endedUtc.empty() ? f->startedUtc : f->endedUtc);
    }
    due.push_back({in, NextRead(cfg.collector, *in, last, failures, lastFailure, start), failures});
    figures.Due(in->name, due.back().at);
  }
  return due;
}

bool ReadDueNow(const Config& cfg, const LineConfig& line, std::vector<Due>& due, const std::filesystem::path& home,
                StoreWriter& writer, const PassLog& lineLog, std::atomic<bool>& stop, std::int64_t epoch,
                FleetFigures& figures) {
  const std::time_t now = std::time(nullptr);
  std::vector<const InstrumentConfig*> nowDue;
  for (bool silent : {false, true})
    for (auto& d : due)
      if (d.at <= now && (d.failures >= cfg.collector.silentAfter) == silent) nowDue.push_back(d.in);
  if (nowDue.empty()) return true;
  const LeaseFence fence{OriginOf(cfg.collector.origin), epoch, cfg.collector.leaseTtlS};
  // The line's stop is the read's stop: every wait of the line looks at it.
  const auto passes = CollectLine(cfg, line, nowDue, home, writer, stop, lineLog, {}, epoch ? &fence : nullptr);
  Reschedule(cfg, line, due, nowDue, passes, figures);
  return std::none_of(passes.begin(), passes.end(), [](const InstrumentPass& p) { return p.leaseLost; });
}

}  // namespace statvtk::collect
