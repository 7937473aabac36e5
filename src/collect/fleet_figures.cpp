#include "collect/fleet_figures.hpp"

#include "store/periods.hpp"

namespace statvtk::collect {

FleetFigures::FleetFigures(const Config& cfg) : collector_(cfg.collector), pools_(!cfg.pools.empty()) {
  for (const auto& l : cfg.lines) lines_[l.name].line = l.name;
  for (const auto& in : cfg.instruments) {
    every_[in.name] = in.everyS;
    configured_.push_back({in.name, in.line, in.address});
  }
}

void FleetFigures::Read(const std::string& line, bool done, std::int64_t exchanges) {
  const std::scoped_lock lock(mutex_);
  LineFigures& f = lines_[line];
  f.line = line;
  ++(done ? f.readsDone : f.readsFailed);
  f.exchanges += exchanges;
  // A failed read ends with an exchange that got no valid reply.
  if (!done) ++f.failedExchanges;
}

void FleetFigures::Due(const std::string& instrument, std::time_t at) {
  const std::scoped_lock lock(mutex_);
  due_[instrument] = at;
}

FleetLive FleetFigures::Live() {
  FleetLive live;
  live.everySeconds = [this](const std::string& name) -> std::optional<std::int64_t> {
    const std::scoped_lock lock(mutex_);
    const auto it = every_.find(name);
    return it == every_.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
  };
  live.nextDueUtc = [this](const std::string& name) {
    const std::scoped_lock lock(mutex_);
    const auto it = due_.find(name);
    return it == due_.end() ? std::string() : store::UtcText(it->second);
  };
  live.lines = [this] {
    const std::scoped_lock lock(mutex_);
    std::vector<LineFigures> out;
    for (const auto& [name, f] : lines_) out.push_back(f);
    return out;
  };
  live.configured = [this] { return configured_; };
  live.logWriteFailures = [this] { return logFailures_ ? logFailures_() : std::uint64_t{0}; };
  if (pools_) live.modems = [this] { return modems_.All(); };
  live.incoming = [this](const std::string& line) { return incoming_ ? incoming_(line) : std::string(); };
  live.silentAfter = collector_.silentAfter;
  live.completenessDays = collector_.completenessDays;
  return live;
}

}  // namespace statvtk::collect
