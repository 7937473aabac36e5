#include "collect/line_pool.hpp"

#include <algorithm>
#include <chrono>
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
  if (!x || !y || x->name != y->name || x->mode != y->mode || x->shared != y->shared || !SameSpec(x->spec, y->spec))
    return false;
  const auto left = InstrumentsOn(a, name), right = InstrumentsOn(b, name);
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](const auto* p, const auto* q) { return SameInstrument(*p, *q); });
}

}  // namespace

bool PooledLine(const LineConfig& line) { return line.pool.empty() && line.mode != LineMode::Incoming; }

std::vector<const InstrumentConfig*> InstrumentsOn(const Config& cfg, const std::string& name) {
  // One pass over the instruments (each line's are asked for as the pool
  // starts: thousands of lines must not cost lines x instruments lookups).
  // Line= may spell the name in another case, as Config::Line finds it.
  std::vector<const InstrumentConfig*> out;
  const LineConfig* line = cfg.Line(name);
  if (!line || line->name != name) return out;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const auto& in : cfg.instruments)
    if (std::equal(in.line.begin(), in.line.end(), name.begin(), name.end(),
                   [&](char a, char b) { return lower(a) == lower(b); }))
      out.push_back(&in);
  return out;
}

struct LinePool::Slot {
  std::shared_ptr<const Config> cfg;
  std::string name;
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
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    for (auto& [name, slot] : lines_) slot->stop.store(true);
    for (auto& slot : retired_) slot->stop.store(true);
  }
  ready_.notify_all();
  workers_.clear();  // joined
}

// The line a worker is to take now: one not being read (nor its former
// self), unscheduled or with an instrument due, the longest due first (with
// fewer workers than lines due, a line early in the list that keeps coming
// due must not starve the others); else when to look again.
std::shared_ptr<LinePool::Slot> LinePool::Next(std::time_t now, std::time_t& wake) {
  std::erase_if(retired_, [](const auto& slot) { return !slot->busy; });
  std::shared_ptr<Slot> next;
  std::time_t nextAt = 0;
  for (auto& [name, slot] : lines_) {
    if (slot->busy || (slot->shared && !slot->held)) continue;
    if (slot->previous) {
      if (slot->previous->busy) continue;
      slot->previous.reset();
    }
    if (!slot->scheduled) return slot;
    for (const Due& d : slot->due) {
      if (d.at > now) wake = std::min(wake, d.at);
      else if (!next || d.at < nextAt || (d.at == nextAt && slot->turn < next->turn)) next = slot, nextAt = d.at;
    }
  }
  return next;
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
    const LineConfig& line = *slot->cfg->Line(slot->name);
    if (schedule) slot->due = work_.schedule(*slot->cfg, line, InstrumentsOn(*slot->cfg, slot->name));
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
  for (auto it = lines_.begin(); it != lines_.end();) {
    if (const LineConfig* line = cfg->Line(it->first);
        line && PooledLine(*line) && !InstrumentsOn(*cfg, it->first).empty()) {
      ++it;
      continue;
    }
    changes.removed.push_back(it->first);
    if (it->second->busy) retired_.push_back(it->second);  // its read ends first
    it = lines_.erase(it);
  }
  for (const auto& line : cfg->lines) {
    if (!PooledLine(line) || InstrumentsOn(*cfg, line.name).empty())
      continue;  // a line without instruments is not opened
    auto& slot = lines_[line.name];
    if (slot && SameLine(*slot->cfg, *cfg, line.name)) continue;
    auto next = std::make_shared<Slot>();
    next->cfg = cfg;
    next->name = line.name;
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
