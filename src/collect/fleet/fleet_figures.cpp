#include "collect/fleet/fleet_figures.hpp"

#include <algorithm>

#include "collect/fleet/health.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

FleetFigures::FleetFigures(const Config& cfg) : collector_(cfg.collector) { Configure(cfg); }

void FleetFigures::Configure(const Config& cfg) {
  const std::scoped_lock lock(mutex_);
  std::erase_if(lines_, [&cfg](const auto& l) { return !cfg.Line(l.first); });
  pools_ = !cfg.pools.empty();
  for (const auto& l : cfg.lines) lines_[l.name].line = l.name;
  every_.clear();
  configured_.clear();
  for (const auto& in : cfg.instruments) {
    every_[in.name] = in.everyS;
    configured_.push_back({in.name, OwnLine(cfg, in), in.address});  // Line= may spell it otherwise
  }
  std::erase_if(turns_, [this](const auto& d) { return !every_.contains(d.first); });
}

void FleetFigures::Read(const std::string& line, bool done, std::int64_t exchanges) {
  const std::scoped_lock lock(mutex_);
  const auto it = lines_.find(line);
  if (it == lines_.end()) return;  // a line removed by a reload, ending its last read
  LineFigures& f = it->second;
  ++(done ? f.readsDone : f.readsFailed);
  f.exchanges += exchanges;
  // A failed read ends with an exchange that got no valid reply.
  if (!done) ++f.failedExchanges;
}

void FleetFigures::Turn(const Due& d) {
  const std::scoped_lock lock(mutex_);
  if (!every_.contains(d.in->name)) return;  // removed by a reload
  Due& kept = turns_[d.in->name];
  kept = d;
  kept.in = nullptr;
}

void FleetFigures::Answered(const std::string& instrument) {
  const std::scoped_lock lock(mutex_);
  failing_.erase(instrument);
}

void FleetFigures::Failed(const std::string& instrument, const std::string& why) {
  const std::scoped_lock lock(mutex_);
  failing_[instrument] = why;
}

std::map<std::string, std::string> FleetFigures::LinesDown(std::time_t now) const {
  const std::scoped_lock lock(mutex_);
  std::map<std::string, std::string> down;
  std::map<std::string, bool> answering;
  for (const auto& c : configured_) {
    const auto f = failing_.find(c.name);
    const auto turn = turns_.find(c.name);
    HealthFacts facts;
    facts.everyS = every_.contains(c.name) ? every_.at(c.name) : facts.everyS;
    facts.silentAfter = collector_.silentAfter;
    if (turn != turns_.end()) {
      facts.failuresInRow = turn->second.failures;
      if (turn->second.lastGood) facts.lastGood = std::chrono::system_clock::from_time_t(*turn->second.lastGood);
    }
    if (f == failing_.end() || !IsDown(facts, std::chrono::system_clock::from_time_t(now))) answering[c.line] = true;
    else down[c.line] = f->second;
  }
  std::erase_if(down, [&](const auto& d) { return answering[d.first]; });
  return down;
}

void FleetFigures::DescribeIncoming(std::function<std::string(const std::string& line)> f) {
  const std::scoped_lock lock(mutex_);
  incoming_ = std::move(f);
}

FleetLive FleetFigures::Live() {
  FleetLive live;
  live.everySeconds = [this](const std::string& name) -> std::optional<std::int64_t> {
    const std::scoped_lock lock(mutex_);
    const auto it = every_.find(name);
    return it == every_.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
  };
  live.nextDueUtc = [this](const std::string& name, const std::string&) {
    const std::scoped_lock lock(mutex_);
    const auto it = turns_.find(name);
    // Due while its line still reads others: now, never a time past.
    return it == turns_.end() ? std::string() : store::UtcText(std::max(it->second.at, std::time(nullptr)));
  };
  live.lines = [this] {
    const std::scoped_lock lock(mutex_);
    std::vector<LineFigures> out;
    for (const auto& [name, f] : lines_) out.push_back(f);
    return out;
  };
  live.configured = [this] {
    const std::scoped_lock lock(mutex_);
    return configured_;
  };
  live.logWriteFailures = [this] { return logFailures_ ? logFailures_() : std::uint64_t{0}; };
  live.linesDown = [this] { return LinesDown(std::time(nullptr)); };
  live.ackFinding = ack_;
  live.ackSituation = ackSituation_;
  if (pools_) live.modems = [this] { return modems_.All(); };
  live.incoming = [this](const std::string& line) {
    std::function<std::string(const std::string&)> describe;
    {
      const std::scoped_lock lock(mutex_);
      describe = incoming_;
    }
    return describe ? describe(line) : std::string();
  };
  live.silentAfter = collector_.silentAfter;
  live.leaseTtlS = collector_.leaseTtlS;
  live.completenessDays = collector_.completenessDays;
  return live;
}

}  // namespace statvtk::collect
