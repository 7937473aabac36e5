// The services beside collection: the HTTP page and API (`Http=`) and the
// MQTT publisher (`Mqtt=`), each on its own connection to the store, started
// with `run` (and `once`) and stopped with it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "collect/alerts/service.hpp"
#include "collect/config/collect_config.hpp"
#include "collect/fleet/fleet_figures.hpp"
#include "collect/http/server.hpp"
#include "collect/mqtt/outbox.hpp"
#include "collect/mqtt/publisher.hpp"

namespace statvtk::collect {

class FleetServices {
 public:
  // Opens the store again for each service configured. A store or an
  // address that cannot be used is the error (the service then does not run).
  // `withHttp` false: MQTT only (once).
  static Result<std::unique_ptr<FleetServices>> Start(const Config& cfg, const std::filesystem::path& home,
                                                      FleetFigures& figures, bool withHttp, LogTo log);
  ~FleetServices();  // Stop()

  // The publisher and the alerts are to end (a wait or a command ends at
  // once); HTTP goes on serving. Returns at once.
  void RequestStop();
  // RequestStop(); the alerts and the publisher joined (its offline status
  // said), then HTTP stopped. The state the services read (the figures, the
  // call-in lines) is to outlive this.
  void Stop();

  // The hook of each read (null without MQTT).
  MqttOutbox* Outbox() { return outbox_.get(); }
  // Waits up to `limit` for this collector's outbox to empty (once, before it exits).
  void Drain(std::chrono::milliseconds limit);
  int HttpPort() const { return http_ ? http_->Port() : 0; }

 private:
  std::unique_ptr<HttpServer> http_;
  std::unique_ptr<MqttOutbox> outbox_;
  std::unique_ptr<MqttPublisher> publisher_;
  std::unique_ptr<store::RecordStore> drainView_;
  std::unique_ptr<AlertService> alerts_;  // AlertWebhook=, AlertCommand= (run only)
};

}  // namespace statvtk::collect
