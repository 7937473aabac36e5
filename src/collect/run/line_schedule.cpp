#include "collect/run/line_schedule.hpp"

#include <algorithm>
#include <ctime>

#include "collect/config/identity.hpp"

namespace statvtk::collect {

namespace {

ReadEnd EndOf(ReadOutcome outcome) {
  if (outcome == ReadOutcome::Done) return ReadEnd::Good;
  return outcome == ReadOutcome::Stopped ? ReadEnd::Stopped : ReadEnd::Failed;
}

}  // namespace

void Reschedule(const Config& cfg, const std::string& line, std::vector<Due>& due,
                const std::vector<const InstrumentConfig*>& asked, const std::vector<InstrumentPass>& passes,
                FleetFigures* figures) {
  const std::time_t after = std::time(nullptr);
  for (auto& d : due) {
    if (std::find(asked.begin(), asked.end(), d.in) == asked.end()) continue;
    const auto p = std::find_if(passes.begin(), passes.end(), [&](const auto& x) { return x.name == d.in->name; });
    if (p != passes.end() && p->leaseLost) continue;  // another collector reads it now: no failure of its
    const ReadOutcome outcome = p == passes.end() ? ReadOutcome::Failed : p->outcome;
    AfterRead(cfg.collector, d, EndOf(outcome), after);
    if (!figures) continue;
    if (outcome != ReadOutcome::Stopped)
      figures->Read(line, outcome == ReadOutcome::Done, p == passes.end() ? 0 : p->requests);
    if (outcome == ReadOutcome::Done) figures->Answered(d.in->name);
    else if (outcome == ReadOutcome::Failed && p != passes.end() && p->stored) figures->Failed(d.in->name, p->error);
    figures->Turn(d);
  }
}

std::map<std::string, std::vector<const InstrumentConfig*>> ByLine(const Config& cfg) {
  std::map<std::string, std::vector<const InstrumentConfig*>> out;
  for (const auto& in : cfg.instruments) {
    const LineConfig* line = cfg.Line(in.line);
    if (PooledLine(*line)) out[line->name].push_back(&in);
  }
  return out;
}

std::vector<Due> LineSchedule(const Config& cfg, const std::vector<const InstrumentConfig*>& instruments,
                              StoreWriter& writer, FleetFigures* figures) {
  const std::time_t start = std::time(nullptr);
  auto due = writer.With([&](store::RecordStore& s) { return Resume(s, cfg, instruments, start); });
  if (figures)
    for (const Due& d : due) figures->Turn(d);
  return due;
}

bool ReadDueNow(const Config& cfg, const LineConfig& line, std::vector<Due>& due, const std::filesystem::path& home,
                StoreWriter& writer, const PassLog& lineLog, std::atomic<bool>& stop, std::int64_t epoch,
                FleetFigures& figures) {
  const std::time_t now = std::time(nullptr);
  std::vector<const InstrumentConfig*> nowDue;
  for (bool silent : {false, true})
    for (auto& d : due)
      if ((d.failures >= cfg.collector.silentAfter) == silent && TakeDue(d, now)) nowDue.push_back(d.in);
  if (nowDue.empty()) return true;
  const LeaseFence fence{OriginOf(cfg.collector.origin), epoch, cfg.collector.leaseTtlS};
  // The line's stop is the read's stop: every wait of the line looks at it.
  const auto passes = CollectLine(cfg, line, nowDue, home, writer, stop, lineLog, {}, epoch ? &fence : nullptr);
  Reschedule(cfg, line.name, due, nowDue, passes, &figures);
  return std::none_of(passes.begin(), passes.end(), [](const InstrumentPass& p) { return p.leaseLost; });
}

}  // namespace statvtk::collect
