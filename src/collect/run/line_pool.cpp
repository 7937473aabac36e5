#include "collect/run/line_pool.hpp"

#include <algorithm>
#include <chrono>
#include <tuple>

#include "base/ascii.hpp"

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

}  // namespace

bool SameLine(const LineConfig& x, const LineConfig& y, const std::vector<const InstrumentConfig*>& left,
              const std::vector<const InstrumentConfig*>& right) {
  if (x.name != y.name || x.mode != y.mode || x.shared != y.shared || x.pool != y.pool || x.listen != y.listen ||
      x.id != y.id || !SameSpec(x.spec, y.spec))
    return false;
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](const auto* p, const auto* q) { return SameInstrument(*p, *q); });
}

LineInstruments LinesWith(const Config& cfg, const std::function<bool(const LineConfig&)>& pick, bool keepEmpty) {
  const auto byLine = InstrumentsByLine(cfg);
  LineInstruments out;
  for (const auto& l : cfg.lines) {
    if (!pick(l)) continue;
    const auto it = byLine.find(l.name);
    if (it != byLine.end()) out.emplace_back(&l, it->second);
    else if (keepEmpty) out.emplace_back(&l, std::vector<const InstrumentConfig*>{});
  }
  return out;
}

bool SameLines(const LineInstruments& left, const LineInstruments& right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](const auto& p, const auto& q) { return SameLine(*p.first, *q.first, p.second, q.second); });
}

bool PooledLine(const LineConfig& line) { return line.pool.empty() && line.mode != LineMode::Incoming; }

std::map<std::string, std::vector<const InstrumentConfig*>> InstrumentsByLine(const Config& cfg) {
  // Line= names its line in any case; looked up in one map, not line by line.
  std::map<std::string, const LineConfig*> lines;
  for (const auto& l : cfg.lines) lines.emplace(AsciiLower(l.name), &l);
  std::map<std::string, std::vector<const InstrumentConfig*>> out;
  for (const auto& in : cfg.instruments)
    if (const auto it = lines.find(AsciiLower(in.line)); it != lines.end()) out[it->second->name].push_back(&in);
  return out;
}

struct LinePool::Slot {
  std::shared_ptr<const Config> cfg;
  std::string name;
  const LineConfig* line = nullptr;  // of `cfg`
  std::vector<const InstrumentConfig*> instruments;
  std::vector<Due> due;
  bool scheduled = false;  // `due` read from the store
  bool busy = false;       // a worker has it
  std::atomic<bool> stop{false};
  std::shared_ptr<Slot> previous;  // the line's former self, whose read ends first
  bool shared = false;             // read only while `held`
  bool held = false;
  std::int64_t epoch = 0;  // the lease's
  std::uint64_t turn = 0;  // LinePool::turns_ when a worker last took it
};

LinePool::~LinePool() {
  Stop();
  Join();
}

void LinePool::Stop() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    for (auto& [name, slot] : lines_) slot->stop.store(true);
    for (auto& slot : retired_) slot->stop.store(true);
  }
  ready_.notify_all();
}

void LinePool::Join() { workers_.clear(); }

// The line a worker is to take now: one not being read (nor its former
// self), unscheduled or with an instrument due, the longest due first (so
// that no line waits behind others when the workers are too few); else when
// to look again.
std::shared_ptr<LinePool::Slot> LinePool::Next(std::time_t now, std::time_t& wake) {
  std::erase_if(retired_, [](const auto& slot) { return !slot->busy; });
  std::shared_ptr<Slot> best;
  std::time_t bestAt = now + 1;
  for (auto& [name, slot] : lines_) {
    if (slot->busy || (slot->shared && !slot->held)) continue;
    if (slot->previous) {
      if (slot->previous->busy) continue;
      slot->previous.reset();
    }
    std::time_t at = 0;  // unscheduled: at once
    if (slot->scheduled) {
      at = now + 1;
      for (const Due& d : slot->due) at = std::min(at, d.at);
    }
    // Among lines due alike (due times are whole seconds), the one taken longest ago.
    if (at <= now && (at < bestAt || (at == bestAt && slot->turn < best->turn))) {
      best = slot;
      bestAt = at;
    }
    wake = std::min(wake, at);
  }
  return best;
}

void LinePool::Work() {
  std::unique_lock lock(mutex_);
  while (!closing_) {
    const std::time_t now = std::time(nullptr);
    std::time_t wake = now + 1;
    const std::shared_ptr<Slot> slot = Next(now, wake);
    if (!slot) {
      ready_.wait_for(lock,
                      std::chrono::seconds(std::max<std::time_t>(wake - now, 0)) + std::chrono::milliseconds(200));
      continue;
    }
    slot->busy = true;
    slot->turn = ++turns_;
    slot->stop.store(request_.load());
    const bool schedule = !slot->scheduled;
    slot->scheduled = true;
    const std::int64_t epoch = slot->shared ? slot->epoch : 0;
    lock.unlock();
    const LineConfig& line = *slot->line;
    if (schedule) slot->due = work_.schedule(*slot->cfg, line, slot->instruments);
    const bool held = slot->stop.load() || work_.read(*slot->cfg, line, slot->due, slot->stop, epoch);
    lock.lock();
    slot->busy = false;
    if (!held && slot->epoch == epoch) slot->held = false;  // until the keeper takes the lease again
    ready_.notify_all();
  }
}

LinePool::Changes LinePool::Apply(std::shared_ptr<const Config> cfg) {
  Changes changes;
  std::lock_guard lock(mutex_);
  auto byLine = InstrumentsByLine(*cfg);
  // A line without instruments is not opened.
  std::erase_if(byLine, [&](const auto& entry) {
    const auto line =
        std::find_if(cfg->lines.begin(), cfg->lines.end(), [&](const LineConfig& l) { return l.name == entry.first; });
    return line == cfg->lines.end() || !PooledLine(*line);
  });
  for (auto it = lines_.begin(); it != lines_.end();) {
    if (byLine.contains(it->first)) {
      ++it;
      continue;
    }
    changes.removed.push_back(it->first);
    if (it->second->busy) retired_.push_back(it->second);  // its read ends first
    it = lines_.erase(it);
  }
  for (const auto& line : cfg->lines) {
    const auto instruments = byLine.find(line.name);
    if (instruments == byLine.end()) continue;
    auto& slot = lines_[line.name];
    if (slot && SameLine(*slot->line, line, slot->instruments, instruments->second)) continue;
    auto next = std::make_shared<Slot>();
    next->cfg = cfg;
    next->name = line.name;
    next->line = &line;
    next->instruments = std::move(instruments->second);
    next->shared = line.shared;
    if (slot) {
      next->held = slot->held;  // the lease is the line's, whatever changed
      next->epoch = slot->epoch;
      // The line's port is its former self's until that read has ended.
      if (slot->busy) {
        next->previous = slot;
        retired_.push_back(slot);
      }
      changes.changed.push_back(line.name);
    } else {
      changes.added.push_back(line.name);
    }
    slot = std::move(next);
  }
  const auto wanted =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(cfg->collector.workers, 1)), lines_.size());
  while (workers_.size() < wanted) workers_.emplace_back([this] { Work(); });
  ready_.notify_all();
  return changes;
}

std::vector<std::string> LinePool::SharedLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [name, slot] : lines_)
    if (slot->shared) out.push_back(name);
  return out;
}

void LinePool::Hold(const std::string& line, std::int64_t epoch) {
  {
    std::lock_guard lock(mutex_);
    const auto it = lines_.find(line);
    if (it == lines_.end()) return;
    it->second->held = true;
    it->second->epoch = epoch;
    it->second->scheduled = false;  // the line's reads by any collector count
  }
  ready_.notify_all();
}

void LinePool::Drop(const std::string& line, bool stopRead) {
  std::lock_guard lock(mutex_);
  if (const auto it = lines_.find(line); it != lines_.end()) {
    it->second->held = false;
    if (stopRead && it->second->busy) it->second->stop.store(true);
  }
  if (stopRead)
    for (auto& slot : retired_)
      if (slot->name == line) slot->stop.store(true);
}

bool LinePool::Holding(const std::string& line) const {
  std::lock_guard lock(mutex_);
  const auto it = lines_.find(line);
  return it != lines_.end() && it->second->held;
}

bool LinePool::Reading(const std::string& line) const {
  std::lock_guard lock(mutex_);
  const auto it = lines_.find(line);
  if (it != lines_.end() && it->second->busy) return true;
  return std::any_of(retired_.begin(), retired_.end(),
                     [&](const auto& slot) { return slot->name == line && slot->busy; });
}

}  // namespace statvtk::collect
