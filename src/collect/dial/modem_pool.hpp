// A pool of dial-up modems that the sites of its lines share ([Modems NAME]
// and the lines with Pool=NAME): each modem makes one call at a time, the
// due sites wait in one queue (the site whose newest stored hour is oldest
// first, a site never read before all), no site is dialled by two modems
// at once, each dial's answer decides the pause before the site's next dial
// and a due site gets at most DialsPerPass dials. A modem that cannot be
// opened or does not answer AT is set aside and tried again every 10
// minutes. Every dial is a row of the call log.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "collect/dial/dial_context.hpp"
#include "collect/fleet/fleet_figures.hpp"
#include "collect/fleet/modem_figures.hpp"
#include "collect/run/collect_pass.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

// `stop` also ends the pool.
struct PoolContext : DialContext {
  ModemFigures& modems;
  FleetFigures* fleet = nullptr;  // the service's figures (due times, reads)
  // How long a set-aside modem waits before it is tried again.
  std::chrono::seconds setAsideFor{600};
  // The step of the dialogue's waits (100 ms; the tests shorten it with
  // STATVTK_MODEM_STEP_MS).
  std::chrono::milliseconds modemStep{100};
  // Set by a reload that ends or restarts the pool: no new call; the calls
  // in progress end as they would (their reads stop only with `stop`).
  const std::atomic<bool>* ending = nullptr;
};

// The dialogue's step: 100 ms, or STATVTK_MODEM_STEP_MS (1..100) where the
// tests run whole dialogues in a fraction of the time.
std::chrono::milliseconds DialStepOfEnvironment();

// The lines dialled through a pool (they have no thread of their own).
bool OnPool(const LineConfig& line);

// The sites of `pool` in `cfg`: its lines that have instruments, each with
// them in collect.ini's order.
std::vector<std::pair<const LineConfig*, std::vector<const InstrumentConfig*>>> SitesOf(const Config& cfg,
                                                                                        const ModemPoolConfig& pool);

// One pool of ctx.cfg, as RunPools runs each.
bool RunPool(const ModemPoolConfig& pool, const PoolContext& ctx, bool once);

// Every pool of the configuration. `once`: each site read once, with its
// dials, then back; true when every instrument of every site was read.
// Otherwise the service: sites dialled as their instruments fall due, until
// the stop.
bool RunPools(const PoolContext& ctx, bool once);

}  // namespace statvtk::collect
