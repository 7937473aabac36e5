#include "collect/line_threads.hpp"

#include <algorithm>
#include <tuple>

namespace statvtk::collect {

namespace {

auto Tie(const SerialLine& x) { return std::tie(x.comPort, x.portName, x.baud, x.evenParity); }
auto Tie(const TcpLine& x) { return std::tie(x.host, x.port, x.useGate, x.useDynDns, x.dynDnsName, x.connectTimeoutS); }
auto Tie(const TimingTriple& x) { return std::tie(x.byteTimeout, x.replyTimeout, x.retries); }
auto Tie(const ModemDialJob& x) {
  return std::tie(x.phoneNo, x.pulse, x.attempts, x.connectWaitS, x.initString, x.modem);
}

bool SameSpec(const LineSpec& a, const LineSpec& b) {
  if (a.mode != b.mode || a.baud != b.baud || a.useMBus != b.useMBus || Tie(a.timing) != Tie(b.timing) ||
      Tie(a.dial) != Tie(b.dial) || a.target.index() != b.target.index())
    return false;
  if (const auto* x = std::get_if<SerialLine>(&a.target)) return Tie(*x) == Tie(std::get<SerialLine>(b.target));
  return Tie(std::get<TcpLine>(a.target)) == Tie(std::get<TcpLine>(b.target));
}

bool SameInstrument(const InstrumentConfig& a, const InstrumentConfig& b) {
  return a.name == b.name && a.address == b.address && a.everyS == b.everyS && a.offsetS == b.offsetS &&
         a.window == b.window && a.kinds == b.kinds;
}

// Whether the line `name` reads the same way under both: its carrier and its
// instruments with their schedules (where in the file they stand aside).
bool SameLine(const Config& a, const Config& b, const std::string& name) {
  const LineConfig* x = a.Line(name);
  const LineConfig* y = b.Line(name);
  if (!x || !y || x->name != y->name || x->mode != y->mode || !SameSpec(x->spec, y->spec)) return false;
  const auto left = InstrumentsOn(a, name), right = InstrumentsOn(b, name);
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](const auto* p, const auto* q) { return SameInstrument(*p, *q); });
}

}  // namespace

bool OwnThread(const LineConfig& line) { return line.pool.empty() && line.mode != LineMode::Incoming; }

std::vector<const InstrumentConfig*> InstrumentsOn(const Config& cfg, const std::string& name) {
  std::vector<const InstrumentConfig*> out;
  for (const auto& in : cfg.instruments)
    if (const LineConfig* l = cfg.Line(in.line); l && l->name == name) out.push_back(&in);
  return out;
}

LineThreads::~LineThreads() {
  for (auto& [name, r] : lines_) r.retire->store(true);
}

LineThreads::Running LineThreads::Start(std::shared_ptr<const Config> cfg, const std::string& name, Running previous) {
  Running r{cfg, std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false), {}};
  // The line's port is the previous thread's until its read has ended.
  r.thread = std::jthread([this, cfg, name, retire = r.retire, done = r.done, before = std::move(previous)]() mutable {
    if (before.thread.joinable()) before.thread.join();
    const LineConfig* line = cfg->Line(name);
    if (!retire->load()) serve_(*cfg, *line, InstrumentsOn(*cfg, name), *retire);
    done->store(true);
  });
  return r;
}

LineThreads::Changes LineThreads::Apply(std::shared_ptr<const Config> cfg) {
  Changes changes;
  std::erase_if(retired_, [](Running& r) { return r.done->load(); });  // their threads have ended: joined here
  for (auto it = lines_.begin(); it != lines_.end();) {
    if (const LineConfig* line = cfg->Line(it->first);
        line && OwnThread(*line) && !InstrumentsOn(*cfg, it->first).empty()) {
      ++it;
      continue;
    }
    changes.removed.push_back(it->first);
    it->second.retire->store(true);
    retired_.push_back(std::move(it->second));
    it = lines_.erase(it);
  }
  for (const auto& line : cfg->lines) {
    if (!OwnThread(line) || InstrumentsOn(*cfg, line.name).empty())
      continue;  // a line without instruments is not opened
    const auto it = lines_.find(line.name);
    if (it != lines_.end() && SameLine(*it->second.cfg, *cfg, line.name)) continue;
    Running previous;
    if (it != lines_.end()) {
      it->second.retire->store(true);
      previous = std::move(it->second);
      lines_.erase(it);
      changes.changed.push_back(line.name);
    } else {
      changes.added.push_back(line.name);
    }
    lines_.emplace(line.name, Start(cfg, line.name, std::move(previous)));
  }
  return changes;
}

}  // namespace statvtk::collect
