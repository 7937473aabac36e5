// The service's modem pools as collect.ini gives them, at the start and
// after each reload: a pool added starts, a pool whose settings or sites
// changed restarts, a pool removed stops. A pool that stops or restarts
// takes no new call and ends the calls it is in first (their reads are not
// cut); its successor starts on the same modems only then, its schedule
// resumed from the store.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "collect/dial/modem_pool.hpp"

namespace statvtk::collect {

class ModemPools {
 public:
  // `base`: what every pool shares (its cfg and `ending` are not used).
  explicit ModemPools(const PoolContext& base) : base_(base) {}
  ~ModemPools();  // Stop() and Join()
  ModemPools(const ModemPools&) = delete;
  ModemPools& operator=(const ModemPools&) = delete;

  struct Changes {
    std::vector<std::string> added, changed, removed;
  };
  // Runs the pools of `cfg` from now on; those unchanged go on as they are.
  Changes Apply(std::shared_ptr<const Config> cfg);
  // Every pool takes no new call (base.stop set as well: their reads stop too).
  void Stop();
  // Waits for every pool (its calls ended): after Stop().
  void Join();

 private:
  struct Runner;
  std::shared_ptr<Runner> Start(std::shared_ptr<const Config> cfg, const ModemPoolConfig& pool,
                                std::shared_ptr<Runner> previous);

  const PoolContext base_;
  std::vector<std::shared_ptr<Runner>> running_;  // one per pool of the configuration
  std::vector<std::shared_ptr<Runner>> retired_;  // removed pools ending their calls
};

}  // namespace statvtk::collect
