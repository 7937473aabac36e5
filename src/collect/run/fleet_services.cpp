#include "collect/run/fleet_services.hpp"

#include <thread>

#include "collect/config/identity.hpp"
#include "collect/http/exposure.hpp"
#include "collect/run/collect_log.hpp"

namespace statvtk::collect {

namespace {
constexpr std::size_t kHttpReaders = 4;
}  // namespace

Result<std::unique_ptr<FleetServices>> FleetServices::Start(const Config& cfg, const std::filesystem::path& home,
                                                            FleetFigures& figures, bool withHttp, LogTo log) {
  auto s = std::make_unique<FleetServices>();
  const CollectorConfig& col = cfg.collector;
  if (col.mqtt.On()) {
    const std::string origin = OriginOf(col.origin);
    auto outbox = store::OpenRecordStore(col.database, home);
    if (!outbox) return outbox.error();
    auto view = store::OpenRecordStore(col.database, home);
    if (!view) return view.error();
    s->drainView_ = std::move(*view);
    s->outbox_ = std::make_unique<MqttOutbox>(col.mqtt, origin);
    // A SQLite file serves one collector: only a shared database has others' outboxes to take over.
    const bool shared = (*outbox)->Backend() == "postgresql";
    s->publisher_ = std::make_unique<MqttPublisher>(col.mqtt, std::move(*outbox), origin);
    s->publisher_->SetLog(log);
    if (shared) s->publisher_->AdoptEvery(std::chrono::seconds(col.leaseTtlS));
    s->publisher_->Start();
  }
  if (withHttp && !col.http.empty()) {
    auto at = ParseHostPort(col.http, kHttpAddress);
    if (!at) return MakeError(ErrorCode::BadSettings, "Http=" + col.http + ": " + at.error().reason);
    // Read-only connections, one per thread of the server's pool that may read at once.
    auto readers = store::StoreReaders::Open(col.database, home, kHttpReaders);
    if (!readers) return readers.error();
    FleetLive live = figures.Live();
    if (s->outbox_) {
      live.mqttDropped = [outbox = s->outbox_.get()] { return outbox->Dropped(); };
      live.brokerUp = [publisher = s->publisher_.get()] { return publisher->Figures().connected; };
      live.outboxOrigin = s->outbox_->Origin();
    }
    auto api = std::make_shared<FleetApi>(std::move(*readers), std::move(live));
    HttpOptions options{.tokens = std::make_shared<TokenCheck>(InHome(col.httpTokens, home)),
                        .cert = col.httpCert.empty() ? "" : InHome(col.httpCert, home).string(),
                        .key = col.httpKey.empty() ? "" : InHome(col.httpKey, home).string(),
                        .access = [log = std::make_shared<DailyLog>(home, "http", col.logDays)](
                                      const std::string& line) { log->Line(line); },
                        .limits = {}};
    if (auto r = options.tokens->Refresh(); !r) return r.error();
    const bool tokens = options.tokens->Any();
    s->http_ = std::make_unique<HttpServer>(api, log, std::move(options));
    if (auto r = s->http_->Start(*at); !r) return r.error();
    if (log)
      log(std::string("HTTP: ") + (s->http_->Tls() ? "https://" : "http://") + at->host + ":" +
              std::to_string(s->http_->Port()) + "/" +
              (tokens ? " (нужен токен)" : " (открыт всем, кто до него доберётся)"),
          {.event = LogEvent::HttpStart});
  }
  if (withHttp && (!col.alertWebhook.empty() || !col.alertCommand.empty())) {
    std::function<std::optional<std::string>()> brokerDown;
    if (s->publisher_)
      brokerDown = [publisher = s->publisher_.get()]() -> std::optional<std::string> {
        const MqttFigures f = publisher->Figures();
        if (f.connected || f.lastError.empty()) return std::nullopt;  // up, or not tried yet
        return f.lastError;
      };
    s->alerts_ = std::make_unique<AlertService>(cfg, home, figures.Live(), std::move(brokerDown), log);
  }
  return s;
}

FleetServices::~FleetServices() { Stop(); }

void FleetServices::RequestStop() {
  if (alerts_) alerts_->RequestStop();
  if (publisher_) publisher_->RequestStop();
}

void FleetServices::Stop() {
  RequestStop();
  alerts_.reset();  // joined, before the publisher it asks
  if (publisher_) publisher_->Stop();
  if (http_) http_->Stop();  // last: it shows the others' state
}

void FleetServices::Drain(std::chrono::milliseconds limit) {
  if (!publisher_ || !drainView_) return;
  publisher_->Notify();
  const auto started = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < started + limit) {
    auto waiting = drainView_->Peek(outbox_->Origin(), 1);
    if (waiting && waiting->empty()) return;
    // A broker that is not there after a first try is not waited for.
    const auto f = publisher_->Figures();
    if (!f.connected && !f.lastError.empty() && std::chrono::steady_clock::now() > started + std::chrono::seconds(2))
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace statvtk::collect
