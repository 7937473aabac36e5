#include "collect/run/lease_keeper.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>

#include "base/version.hpp"
#include "collect/config/identity.hpp"

namespace statvtk::collect {

namespace {

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return "";
  return name.data();
}

}  // namespace

Result<std::unique_ptr<store::RecordStore>> OpenLeaseStore(const CollectorConfig& collector,
                                                           const std::filesystem::path& home) {
  store::StoreOptions options = StoreOptionsOf(collector);
  // A renewal of a line whose read is in its transaction meets the row its
  // fence locked: it gives way within a tenth of the lease, the other
  // leases are renewed meanwhile.
  options.lockWait = std::min<std::chrono::milliseconds>(std::chrono::seconds(1),
                                                         std::chrono::milliseconds(collector.leaseTtlS * 100));
  return store::OpenRecordStore(collector.database, home, options);
}

LeaseKeeper::LeaseKeeper(std::unique_ptr<store::RecordStore> leases, const CollectorConfig& collector, PassLog log)
    : store_(std::move(leases)),
      origin_(OriginOf(collector.origin)),
      ttlS_(collector.leaseTtlS),
      log_(std::move(log)) {}

LeaseKeeper::~LeaseKeeper() { Release(); }

void LeaseKeeper::Release() {
  if (thread_.joinable()) {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
  }
  for (const auto& [line, h] : held_) Release(line, h.epoch, "сборщик остановлен");
  held_.clear();
}

void LeaseKeeper::Start(LinePool& pool) {
  thread_ = std::jthread([this, &pool](std::stop_token stop) {
    const auto period = std::chrono::milliseconds(ttlS_ * 1000 / 3);
    bool registered = false;
    // The first period after the start takes nothing: collectors started
    // together have all registered when they first count each other.
    for (int tick = 0; !stop.stop_requested(); ++tick) {
      if (!registered) {
        const store::CollectorRow me{origin_, HostName(), getpid(), std::string(StatvtkVersion()), "", "", true};
        const auto r = store_->RegisterCollector(me);
        if (!r && tick == 0)
          log_("statvtk-collect: сборщик " + origin_ + " не зарегистрирован: " + r.error().reason,
               {.event = LogEvent::LeaseFailed});
        registered = r.has_value();
      }
      if (registered) Tick(pool, tick);
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, stop, period, [] { return false; });
    }
  });
}

void LeaseKeeper::Tick(LinePool& pool, int tick) {
  // Seen before the renewals: a collector whose leases expired is no longer
  // seen within LeaseTtl when the others count who has room.
  const bool seen = store_->SeeCollector(origin_).has_value();
  Renew(pool);
  if (!seen) return;
  auto all = store_->Collectors(2 * ttlS_);
  auto active = store_->Collectors(ttlS_);
  auto leases = store_->Leases();
  if (!all || !active || !leases) return;
  leases_ = std::move(*leases);
  active_.clear();
  for (auto& c : *active)
    if (c.alive && c.origin != origin_) active_.push_back(std::move(c));
  const std::size_t live =
      1 + static_cast<std::size_t>(std::count_if(
              all->begin(), all->end(), [&](const store::CollectorRow& c) { return c.alive && c.origin != origin_; }));
  const std::size_t lines = pool.SharedLines().size();
  const std::size_t share = (lines + live - 1) / live;
  if (tick >= 1) Take(pool, share, tick >= 2);
  Spread(pool, share);
}

// Renews each lease held; a lease lost (taken by another while this
// collector was paused or cut off) stops the line's read at the next block.
void LeaseKeeper::Renew(LinePool& pool) {
  const auto lines = pool.SharedLines();
  for (auto it = held_.begin(); it != held_.end();) {
    const std::string& line = it->first;
    Held& h = it->second;
    const bool listed = std::find(lines.begin(), lines.end(), line) != lines.end();
    if ((!listed || h.yielding) && !pool.Reading(line)) {
      Release(line, h.epoch, listed ? "у сборщика больше линий, чем его доля" : "линии больше нет в collect.ini");
      it = held_.erase(it);
      continue;
    }
    if (listed && !h.yielding && !pool.Holding(line)) {  // a read's transaction found it lost
      it = held_.erase(it);
      continue;
    }
    const auto asked = std::chrono::steady_clock::now();
    const auto renewed = store_->RenewLease(line, origin_, h.epoch, ttlS_);
    if (renewed && *renewed) {
      h.renewed = asked;
      ++it;
      continue;
    }
    // The row is locked by the line's own read, in its transaction: its
    // fence renewed the lease, and no one takes it before that commits.
    if (!renewed && renewed.error().code == ErrorCode::StoreBusy && pool.Reading(line)) {
      ++it;
      continue;
    }
    // The store does not answer: the lease is surely held two thirds of its time.
    if (!renewed && asked - h.renewed < std::chrono::seconds(ttlS_) * 2 / 3) {
      ++it;
      continue;
    }
    pool.Drop(line, true);
    log_("[" + line + "] аренда линии потеряна: " +
             (renewed ? "её взял другой сборщик" : "база данных не продлила её: " + renewed.error().reason) +
             "; линия не читается, пока аренда не будет взята снова",
         {.line = line, .event = LogEvent::LeaseLost});
    it = held_.erase(it);
  }
}

// Takes free leases up to the share; beyond it only those whose holder
// stopped renewing (expired, never released): a dead collector's lines.
void LeaseKeeper::Take(LinePool& pool, std::size_t share, bool beyondShare) {
  const auto lines = pool.SharedLines();
  if (lines.empty()) return;
  // Each collector starts at its own place, so that collectors started
  // together seldom ask for the same line.
  const std::size_t first = std::hash<std::string>{}(origin_) % lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[(first + i) % lines.size()];
    if (held_.contains(line)) continue;
    const auto row = std::find_if(leases_.begin(), leases_.end(), [&](const auto& l) { return l.line == line; });
    const bool known = row != leases_.end();
    if (known && row->held) continue;
    const bool expired = known && !row->origin.empty();
    if (held_.size() >= share && !(beyondShare && expired)) continue;
    const auto epoch = store_->TakeLease(line, origin_, ttlS_);
    if (!epoch || !*epoch) continue;
    held_[line] = {**epoch, std::chrono::steady_clock::now(), false};
    pool.Hold(line, **epoch);
    log_("[" + line + "] аренда линии взята, эпоха " + std::to_string(**epoch) +
             (expired ? "; прежний держатель " + row->origin + " не продлил её" : ""),
         {.line = line, .event = LogEvent::LeaseTaken});
  }
}

// Above its share while another live collector has room: one line is given
// up at the end of its read.
void LeaseKeeper::Spread(LinePool& pool, std::size_t share) {
  if (held_.size() <= share ||
      std::any_of(held_.begin(), held_.end(), [](const auto& entry) { return entry.second.yielding; }))
    return;
  const bool room = std::any_of(active_.begin(), active_.end(), [&](const store::CollectorRow& c) {
    return static_cast<std::size_t>(std::count_if(leases_.begin(), leases_.end(), [&](const store::LeaseRow& l) {
             return l.held && l.origin == c.origin;
           })) < share;
  });
  if (!room) return;
  auto it = std::find_if(held_.begin(), held_.end(), [&](const auto& entry) { return !pool.Reading(entry.first); });
  if (it == held_.end()) it = held_.begin();
  it->second.yielding = true;
  pool.Drop(it->first, false);
}

void LeaseKeeper::Release(const std::string& line, std::int64_t epoch, const std::string& why) {
  const auto r = store_->ReleaseLease(line, origin_, epoch);
  log_("[" + line + "] аренда линии отдана: " + why + (r ? std::string() : "; база данных: " + r.error().reason),
       {.line = line, .event = LogEvent::LeaseReleased});
}

LeaseRenewal::LeaseRenewal(store::LeaseStore& leases, const std::string& line, const LeaseFence& lease,
                           const PassLog& log)
    : thread_([this, &leases, line, lease, log](std::stop_token stop) {
        const auto period = std::chrono::milliseconds(lease.ttlS * 1000 / 3);
        while (!stop.stop_requested()) {
          {
            std::unique_lock lock(mutex_);
            if (wake_.wait_for(lock, stop, period, [] { return false; }) || stop.stop_requested()) return;
          }
          const auto r = leases.RenewLease(line, lease.origin, lease.epoch, lease.ttlS);
          if (r && !*r) {
            log("аренда линии потеряна: её взял другой сборщик", {.event = LogEvent::LeaseLost});
            return;
          }
        }
      }) {}

LeaseRenewal::~LeaseRenewal() {
  thread_.request_stop();
  wake_.notify_all();
}

}  // namespace statvtk::collect
