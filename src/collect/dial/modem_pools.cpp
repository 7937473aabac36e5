#include "collect/dial/modem_pools.hpp"

#include <algorithm>
#include <optional>
#include <thread>
#include <tuple>

#include "collect/run/line_pool.hpp"

namespace statvtk::collect {

namespace {

auto Tie(const ModemPoolConfig& p) {
  return std::tie(p.name, p.devices, p.baud, p.init, p.pulse, p.connectWaitS, p.retryBusyS, p.retryNoAnswerS,
                  p.retryNoCarrierS, p.dialsPerPass);
}

// Whether the pool dials the same sites the same way under both.
bool SamePool(const Config& a, const ModemPoolConfig& x, const Config& b, const ModemPoolConfig& y) {
  return Tie(x) == Tie(y) && SameLines(SitesOf(a, x), SitesOf(b, y));
}

}  // namespace

struct ModemPools::Runner {
  std::shared_ptr<const Config> cfg;
  const ModemPoolConfig* pool = nullptr;  // of `cfg`
  std::atomic<bool> ending{false};
  std::atomic<bool> done{false};
  std::optional<PoolContext> ctx;
  std::shared_ptr<Runner> previous;  // the pool's former self: its calls end before this one starts
  std::jthread thread;               // last: joined before the rest goes
};

ModemPools::~ModemPools() {
  Stop();
  Join();
}

std::shared_ptr<ModemPools::Runner> ModemPools::Start(std::shared_ptr<const Config> cfg, const ModemPoolConfig& pool,
                                                      std::shared_ptr<Runner> previous) {
  auto r = std::make_shared<Runner>();
  r->cfg = std::move(cfg);
  r->pool = &pool;
  r->ctx.emplace(PoolContext{*r->cfg, base_.home, base_.writer, base_.log, base_.stop, base_.modems, base_.fleet,
                             base_.setAsideFor, base_.modemStep, &r->ending});
  r->previous = std::move(previous);
  r->thread = std::jthread([raw = r.get()] {
    if (raw->previous) {
      raw->previous->thread.join();
      raw->previous.reset();
    }
    if (!raw->ending.load() && !raw->ctx->stop.load()) RunPool(*raw->pool, *raw->ctx, false);
    raw->done.store(true);
  });
  return r;
}

ModemPools::Changes ModemPools::Apply(std::shared_ptr<const Config> cfg) {
  Changes changes;
  std::erase_if(retired_, [](const auto& r) { return r->done.load(); });
  std::vector<std::shared_ptr<Runner>> next;
  for (const auto& pool : cfg->pools) {
    const auto old =
        std::find_if(running_.begin(), running_.end(), [&](const auto& r) { return r->pool->name == pool.name; });
    if (old == running_.end()) {
      next.push_back(Start(cfg, pool, nullptr));
      changes.added.push_back(pool.name);
      continue;
    }
    if (SamePool(*(*old)->cfg, *(*old)->pool, *cfg, pool)) {
      next.push_back(*old);
    } else {
      (*old)->ending.store(true);
      next.push_back(Start(cfg, pool, *old));
      changes.changed.push_back(pool.name);
    }
    running_.erase(old);
  }
  for (auto& r : running_) {  // the pools gone from the configuration
    r->ending.store(true);
    changes.removed.push_back(r->pool->name);
    retired_.push_back(std::move(r));
  }
  running_ = std::move(next);
  std::vector<std::pair<std::string, std::string>> configured;
  for (const auto& pool : cfg->pools)
    for (const auto& device : pool.devices) configured.emplace_back(pool.name, device);
  base_.modems.KeepOnly(configured);
  return changes;
}

void ModemPools::Stop() {
  for (auto* list : {&running_, &retired_})
    for (auto& r : *list) r->ending.store(true);
}

void ModemPools::Join() {
  running_.clear();
  retired_.clear();
}

}  // namespace statvtk::collect
