#include "collect/alerts/service.hpp"

#include <condition_variable>
#include <mutex>

#include "store/periods.hpp"

namespace statvtk::collect {

AlertService::AlertService(const Config& cfg, std::filesystem::path home, FleetLive live,
                           std::function<std::optional<std::string>()> brokerDown, LogTo log)
    : database_(cfg.collector.database),
      home_(std::move(home)),
      everyS_(cfg.collector.alertEveryS),
      live_(std::move(live)),
      brokerDown_(std::move(brokerDown)),
      sender_({.webhook = cfg.collector.alertWebhook,
               .command = cfg.collector.alertCommand,
               .commandTimeout = std::chrono::seconds(cfg.collector.alertCommandTimeoutS)},
              log),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

AlertService::~AlertService() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

void AlertService::RequestStop() {
  thread_.request_stop();
  sender_.RequestStop();
}

AlertPicture AlertService::Picture() {
  AlertPicture p;
  if (brokerDown_) p.brokerDown = brokerDown_();
  if (live_.linesDown) p.linesDown = live_.linesDown();
  if (!store_) {
    store::StoreOptions options;
    options.readOnly = true;
    auto opened = store::OpenRecordStore(database_, home_, options);
    if (!opened) {
      p.storeDown = opened.error().reason;
      return p;
    }
    store_ = std::move(*opened);
  }
  auto fleet = FleetView(*store_, live_);
  if (!fleet) {
    p.storeDown = fleet.error().reason;
    store_.reset();  // a server that went away: a new connection next time
    return p;
  }
  p.fleet = std::move(*fleet);
  if (auto open = store_->Situations(store::OpenSituations())) p.situations = std::move(*open);
  return p;
}

void AlertService::Run(std::stop_token stop) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  while (!stop.stop_requested()) {
    for (auto& e : watch_.Look(Picture(), store::UtcNow())) sender_.Send(std::move(e));
    cv.wait_for(lock, stop, std::chrono::seconds(everyS_), [] { return false; });
  }
}

}  // namespace statvtk::collect
