// The alerts of a running collector: every AlertEvery= its own thread looks
// at the fleet (the store through a read-only connection of its own, the
// lines and the broker from memory) and hands what changed to the sender.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "collect/alerts/sender.hpp"
#include "collect/config/collect_config.hpp"
#include "collect/fleet/fleet_live.hpp"

namespace statvtk::collect {

class AlertService {
 public:
  // `brokerDown`: why the broker is not connected now (none: up; empty function: MQTT off).
  AlertService(const Config& cfg, std::filesystem::path home, FleetLive live,
               std::function<std::optional<std::string>()> brokerDown, LogTo log);
  ~AlertService();
  AlertService(const AlertService&) = delete;
  AlertService& operator=(const AlertService&) = delete;

  // No look at the fleet and no alert sent any more (a command running is
  // ended); returns at once, the destructor joins.
  void RequestStop();

 private:
  AlertPicture Picture();
  void Run(std::stop_token stop);

  std::string database_;
  std::filesystem::path home_;
  long long everyS_;
  FleetLive live_;
  std::function<std::optional<std::string>()> brokerDown_;
  std::unique_ptr<store::RecordStore> store_;  // opened again after it failed
  AlertWatch watch_;
  AlertSender sender_;
  std::jthread thread_;  // last
};

}  // namespace statvtk::collect
