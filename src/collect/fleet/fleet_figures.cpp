#include "collect/fleet/fleet_figures.hpp"

#include <algorithm>

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
    configured_.push_back({in.name, in.line, in.address});
  }
  std::erase_if(due_, [this](const auto& d) { return !every_.contains(d.first); });
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

void FleetFigures::Due(const std::string& instrument, std::time_t at) {
  const std::scoped_lock lock(mutex_);
  if (every_.contains(instrument)) due_[instrument] = at;  // else removed by a reload
}

void FleetFigures::Answered(const std::string& instrument) {
  const std::scoped_lock lock(mutex_);
  failing_.erase(instrument);
}

void FleetFigures::Failed(const std::string& instrument, const std::string& why) {
  const std::scoped_lock lock(mutex_);
  failing_[instrument] = why;
}

std::map<std::string, std::string> FleetFigures::LinesDown() const {
  const std::scoped_lock lock(mutex_);
  std::map<std::string, std::string> down;
  std::map<std::string, bool> answering;
  for (const auto& c : configured_) {
    const auto f = failing_.find(c.name);
    if (f == failing_.end()) answering[c.line] = true;
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
    const auto it = due_.find(name);
    // Due while its line still reads others: now, never a time past.
    return it == due_.end() ? std::string() : store::UtcText(std::max(it->second, std::time(nullptr)));
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
  live.linesDown = [this] { return LinesDown(); };
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
