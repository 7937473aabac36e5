#include "collect/dial/modem_pool.hpp"

#include <algorithm>
#include <cstdlib>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

#include "collect/config/identity.hpp"
#include "collect/dial/modem_call.hpp"
#include "collect/fleet/scheduler.hpp"
#include "collect/run/line_pool.hpp"
#include "collect/run/line_schedule.hpp"
#include "collect/views/periods.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::seconds;

int MinuteOfDay(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_hour * 60 + tm.tm_min;
}

bool InWindow(const InstrumentConfig& in, std::time_t now) {
  return !in.window || in.window->Contains(MinuteOfDay(now));
}

struct Site {
  const LineConfig* line = nullptr;
  std::vector<const InstrumentConfig*> instruments;
  std::vector<Due> due;                          // each instrument's turn, by the one scheduler
  std::vector<const InstrumentConfig*> pending;  // due in this pass and not yet read
  std::string newest;                            // the oldest of its instruments' newest stored hours
  bool active = false, inCall = false;
  int dials = 0;
  Steady::time_point nextDial{};
};

struct PoolModem {
  std::string device;
  bool aside = false;
  Steady::time_point retryAt{};
};

class Pool {
 public:
  Pool(const ModemPoolConfig& cfg, const PoolContext& ctx, bool once) : cfg_(cfg), ctx_(ctx), once_(once) {
    for (auto& [line, instruments] : SitesOf(ctx.cfg, cfg)) {
      Site s;
      s.line = line;
      s.instruments = std::move(instruments);
      sites_.push_back(std::move(s));
    }
    for (const auto& d : cfg.devices) modems_.push_back({d});
  }

  bool Run();

 private:
  void Log(const std::string& text, const LogFields& fields = {}) { ctx_.log("[" + cfg_.name + "] " + text, fields); }
  void Worker(PoolModem& m);
  Site* Pick(Steady::time_point now);
  void Activate(Site& s, std::vector<const InstrumentConfig*> due);
  void Call(PoolModem& m, Site& s);
  void Settle(Site& s, const std::vector<const InstrumentConfig*>& asked, const std::vector<InstrumentPass>& passes,
              const std::string& outcome);
  // The pool takes no new call: the run stops, or a reload ends or restarts the pool.
  bool Ending() const { return ctx_.stop.load() || (ctx_.ending && ctx_.ending->load()); }
  void EndPass(Site& s, bool allRead);
  void SetAside(PoolModem& m, const std::string& why);
  void Schedule();
  bool Settled() const {
    return std::none_of(sites_.begin(), sites_.end(), [](const Site& s) { return s.active || s.inCall; });
  }
  long long PauseAfter(const std::string& outcome) const {
    if (outcome == "BUSY") return cfg_.retryBusyS;
    if (outcome == "NO ANSWER") return cfg_.retryNoAnswerS;
    return cfg_.retryNoCarrierS;
  }
  std::string NewestHour(const InstrumentConfig& in);

  const ModemPoolConfig& cfg_;
  const PoolContext& ctx_;
  const bool once_;
  std::vector<Site> sites_;
  std::vector<PoolModem> modems_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool failed_ = false;  // once: an instrument was not read
};

std::string Pool::NewestHour(const InstrumentConfig& in) {
  auto newest = ctx_.writer.With([&](store::RecordStore& s) -> std::string {
    const auto good = LastGood(s, ctx_.cfg, in);
    if (!good) return {};
    auto stats = s.Stats(good->serial, ArchiveKind::Hourly);
    return stats ? stats->newest : std::string();
  });
  return newest;
}

// Due instruments of a site join the queue; its place: the oldest newest hour.
void Pool::Activate(Site& s, std::vector<const InstrumentConfig*> due) {
  std::string oldest;
  bool first = true;
  for (const auto* in : due) {
    std::string h = NewestHour(*in);
    if (first || h < oldest) oldest = h;
    first = false;
  }
  const std::scoped_lock lock(mu_);
  s.pending = std::move(due);
  s.newest = oldest;
  s.active = true;
  s.dials = 0;
  s.nextDial = Steady::now();
  cv_.notify_all();
}

// The next site for a free modem: active, not in a call, its pause over, in
// its window; the oldest newest hour first. Under mu_.
Site* Pool::Pick(Steady::time_point now) {
  const std::time_t wall = std::time(nullptr);
  Site* best = nullptr;
  for (auto& s : sites_) {
    if (!s.active || s.inCall || s.nextDial > now) continue;
    if (!once_ && std::none_of(s.pending.begin(), s.pending.end(), [&](auto* in) { return InWindow(*in, wall); }))
      continue;
    if (!best || s.newest < best->newest || (s.newest == best->newest && s.line->name < best->line->name)) best = &s;
  }
  return best;
}

void Pool::SetAside(PoolModem& m, const std::string& why) {
  m.aside = true;
  m.retryAt = Steady::now() + ctx_.setAsideFor;
  const std::string text = "модем " + m.device + " отложен: " + why + "; следующая попытка через " +
                           std::to_string(ctx_.setAsideFor.count() / 60) + " мин";
  Log("ВНИМАНИЕ: " + text);
  ctx_.modems.SetAside(cfg_.name, m.device, true, why);
  store::FindingRow f;
  f.kind = store::FindingKind::ModemSetAside;
  f.period = store::UtcNow();
  f.detail = "[Modems " + cfg_.name + "] " + text;
  f.foundUtc = f.period;
  const auto added = ctx_.writer.With([&](store::RecordStore& s) { return s.AddFinding(f); });
  if (!added) Log("ВНИМАНИЕ: находка не записана в базу данных: " + added.error().reason);
}

// The instruments' turns were settled call by call (Settle): a pass that
// ends leaves them so.
void Pool::EndPass(Site& s, bool allRead) {
  s.active = false;
  if (!allRead) failed_ = true;
}

// After a call: each instrument dialled for rescheduled by the one
// scheduler (a read, its next period; a failed one, the retry pause of its
// failures); the instruments read leave the site's list; a site not read
// whole waits the pause of the answer, or after its last dial its turn.
// Under mu_.
void Pool::Settle(Site& s, const std::vector<const InstrumentConfig*>& asked, const std::vector<InstrumentPass>& passes,
                  const std::string& outcome) {
  Reschedule(ctx_.cfg, s.line->name, s.due, asked, passes, ctx_.fleet);
  bool stopped = false;
  for (const auto& p : passes) {
    stopped |= p.outcome == ReadOutcome::Stopped;
    if (p.outcome != ReadOutcome::Done) continue;
    const auto it = std::find_if(s.pending.begin(), s.pending.end(), [&](auto* in) { return in->name == p.name; });
    if (it != s.pending.end()) s.pending.erase(it);
  }
  if (s.pending.empty()) return EndPass(s, true);
  if (stopped) return;
  if (++s.dials >= cfg_.dialsPerPass) {
    Log("[" + s.line->name + "] не прочитано за " + std::to_string(s.dials) + " набор(а) (" + outcome +
            "); следующий набор в свой срок",
        {.line = s.line->name, .event = LogEvent::DialFailed});
    return EndPass(s, false);
  }
  const long long pause = PauseAfter(outcome);
  s.nextDial = Steady::now() + seconds(pause);
  Log("[" + s.line->name + "] " + outcome + ": следующий набор через " + std::to_string(pause) + " с",
      {.line = s.line->name});
}

void Pool::Call(PoolModem& m, Site& s) {
  std::vector<const InstrumentConfig*> list;
  {
    const std::scoped_lock lock(mu_);
    const std::time_t wall = std::time(nullptr);
    for (auto* in : s.pending)
      if (once_ || InWindow(*in, wall)) list.push_back(in);
  }
  LineConfig line = *s.line;
  line.spec.mode = ConnectMode::Modem;
  line.spec.baud = cfg_.baud;
  line.spec.target = SerialLine{1, m.device, cfg_.baud, line.spec.useMBus};
  line.spec.dial = ModemDialJob{line.spec.dial.phoneNo, cfg_.pulse, 1, cfg_.connectWaitS, cfg_.init, true};
  Log("[" + line.name + "] набор " + std::to_string(s.dials + 1) + " из " + std::to_string(cfg_.dialsPerPass) + ": " +
          line.spec.dial.phoneNo + " через " + m.device,
      {.line = line.name});
  CallTap tap;
  LineHooks hooks;
  hooks.tap = &tap;
  hooks.run.modemStep = ctx_.modemStep;
  const LogTo lineLog = ctx_.log.OfLine(line.name);
  const auto passes = CollectLine(ctx_.cfg, line, list, ctx_.home, ctx_.writer, ctx_.stop, lineLog, hooks);
  const auto ended = std::chrono::system_clock::now();
  if (tap.ModemTrouble()) {  // not the site's fault: it keeps its place and its dials
    const std::scoped_lock lock(mu_);
    SetAside(m, tap.TroubleText());
    return;
  }
  if (m.aside) {
    const std::scoped_lock lock(mu_);
    m.aside = false;
    ctx_.modems.SetAside(cfg_.name, m.device, false);
    Log("модем " + m.device + " снова отвечает");
  }
  const bool readWhole = !passes.empty() && std::all_of(passes.begin(), passes.end(), [](const InstrumentPass& p) {
    return p.outcome == ReadOutcome::Done;
  });
  const std::string outcome = tap.Outcome(readWhole);
  if (tap.Dialed()) {
    store::CallRow row{0,
                       OriginOf(ctx_.cfg.collector.origin),
                       cfg_.name,
                       m.device,
                       line.name,
                       line.spec.dial.phoneNo,
                       UtcMillis(*tap.DialedAt()),
                       tap.ConnectedAt() ? UtcMillis(*tap.ConnectedAt()) : std::string(),
                       UtcMillis(tap.EndedAt(ended)),
                       outcome};
    const auto added = ctx_.writer.With([&](store::RecordStore& st) { return st.AddCall(row); });
    if (!added) Log("ВНИМАНИЕ: звонок не записан в базу данных: " + added.error().reason);
    ctx_.modems.Call(cfg_.name, m.device, outcome, tap.Connected(), tap.ConnectedSeconds(ended), ended);
  }
  const std::scoped_lock lock(mu_);
  Settle(s, list, passes, outcome);
}

void Pool::Worker(PoolModem& m) {
  std::unique_lock lock(mu_);
  while (!Ending()) {
    if (once_ && Settled()) break;
    const auto now = Steady::now();
    if (m.aside && now < m.retryAt) {
      // A pass of `once` does not wait for a set-aside modem: with none left, what is left fails.
      if (once_ && std::all_of(modems_.begin(), modems_.end(), [](const PoolModem& x) { return x.aside; })) {
        for (auto& s : sites_)
          if (s.active && !s.inCall) {
            Log("[" + s.line->name + "] не прочитано: ни один модем пула не отвечает",
                {.line = s.line->name, .event = LogEvent::DialFailed});
            EndPass(s, false);
          }
        cv_.notify_all();
        if (Settled()) break;
      }
      cv_.wait_for(lock, std::chrono::milliseconds(50));
      continue;
    }
    Site* s = Pick(now);
    if (!s) {
      cv_.wait_for(lock, std::chrono::milliseconds(50));
      continue;
    }
    s->inCall = true;
    lock.unlock();
    Call(m, *s);
    lock.lock();
    s->inCall = false;
    cv_.notify_all();
  }
}

// The service's scheduler: sites join the queue as their instruments fall
// due; one whose window closed while it waited ends its pass.
void Pool::Schedule() {
  while (!Ending()) {
    const std::time_t now = std::time(nullptr);
    for (auto& s : sites_) {
      std::vector<const InstrumentConfig*> due;
      {
        const std::scoped_lock lock(mu_);
        if (s.inCall) continue;
        if (s.active) {
          if (std::none_of(s.pending.begin(), s.pending.end(), [&](auto* in) { return InWindow(*in, now); }))
            EndPass(s, false);
          continue;
        }
        for (auto& d : s.due)
          if (TakeDue(d, now)) due.push_back(d.in);
      }
      if (!due.empty()) Activate(s, std::move(due));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

bool Pool::Run() {
  if (sites_.empty()) return true;
  std::error_code ec;
  for (auto& m : modems_) {
    ctx_.modems.Add(cfg_.name, m.device);
    if (!std::filesystem::exists(m.device, ec)) SetAside(m, "устройство " + m.device + " не найдено");
  }
  const std::time_t start = std::time(nullptr);
  for (auto& s : sites_) {
    if (once_) {
      for (const auto* in : s.instruments) s.due.push_back({in, start, 0, std::nullopt});
      Activate(s, s.instruments);
      continue;
    }
    // A (re)start keeps the schedule: the store's last good reads and failures since.
    s.due = LineSchedule(ctx_.cfg, s.instruments, ctx_.writer, ctx_.fleet);
  }
  {
    std::vector<std::jthread> workers;
    for (auto& m : modems_) workers.emplace_back([this, &m] { Worker(m); });
    if (!once_) Schedule();
  }
  return !failed_ && !ctx_.stop.load();
}

}  // namespace

std::chrono::milliseconds DialStepOfEnvironment() {
  const char* v = std::getenv("STATVTK_MODEM_STEP_MS");
  if (!v) return std::chrono::milliseconds(100);
  const int ms = std::atoi(v);
  return std::chrono::milliseconds(ms >= 1 && ms <= 100 ? ms : 100);
}

bool OnPool(const LineConfig& line) { return !line.pool.empty(); }

std::vector<std::pair<const LineConfig*, std::vector<const InstrumentConfig*>>> SitesOf(const Config& cfg,
                                                                                        const ModemPoolConfig& pool) {
  return LinesWith(
      cfg, [&](const LineConfig& l) { return !l.pool.empty() && cfg.Pool(l.pool) == &pool; }, false);
}

bool RunPool(const ModemPoolConfig& pool, const PoolContext& ctx, bool once) { return Pool(pool, ctx, once).Run(); }

bool RunPools(const PoolContext& ctx, bool once) {
  std::vector<std::unique_ptr<Pool>> pools;
  for (const auto& p : ctx.cfg.pools) pools.push_back(std::make_unique<Pool>(p, ctx, once));
  std::atomic<bool> allRead{true};
  {
    std::vector<std::jthread> threads;
    for (auto& p : pools)
      threads.emplace_back([&allRead, pool = p.get()] {
        if (!pool->Run()) allRead.store(false);
      });
  }
  return allRead.load();
}

}  // namespace statvtk::collect
