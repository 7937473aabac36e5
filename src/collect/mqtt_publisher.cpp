#include "collect/mqtt_publisher.hpp"

#include <mosquitto.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace statvtk::collect {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kWindow = 16;  // messages sent and not yet acknowledged
constexpr int kKeepAliveS = 30;
constexpr auto kConnackWait = 5s;
constexpr auto kPoll = 1s;  // the outbox is looked at this often without a Notify
constexpr auto kMaxBackoff = 30s;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string Why(int rc) { return mosquitto_strerror(rc); }

}  // namespace

// One connection to the broker: a fresh client each time, so nothing of a
// lost connection is sent again behind the outbox's back.
class MqttPublisher::Session {
 public:
  Session(const MqttSettings& s, const std::string& clientId) : m_(mosquitto_new(clientId.c_str(), true, this)) {
    if (!m_) return;
    mosquitto_int_option(m_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_.get(),
                                   [](mosquitto*, void* self, int rc) { static_cast<Session*>(self)->connack_ = rc; });
    mosquitto_publish_callback_set(
        m_.get(), [](mosquitto*, void* self, int mid) { static_cast<Session*>(self)->acked_.push_back(mid); });
    if (!s.user.empty())
      mosquitto_username_pw_set(m_.get(), s.user.c_str(), s.password.empty() ? nullptr : s.password.c_str());
    if (s.tls)
      tlsResult_ = mosquitto_tls_set(m_.get(), s.caFile.empty() ? nullptr : s.caFile.c_str(),
                                     s.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
  }

  Result<void> Connect(const MqttSettings& s) {
    if (!m_) return MakeError(ErrorCode::BadData, "MQTT: no client (out of memory)");
    if (tlsResult_ != MOSQ_ERR_SUCCESS) return MakeError(ErrorCode::BadSettings, "MQTT TLS: " + Why(tlsResult_));
    const int rc = mosquitto_connect(m_.get(), s.host.c_str(), s.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS)
      return MakeError(ErrorCode::Connect, "MQTT " + s.host + ":" + std::to_string(s.port) + ": " +
                                               (rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : Why(rc)));
    const auto until = std::chrono::steady_clock::now() + kConnackWait;
    while (connack_ < 0 && std::chrono::steady_clock::now() < until)
      if (auto r = Loop(100); !r) return r.error();
    if (connack_ != 0)
      return MakeError(ErrorCode::Connect, "MQTT " + s.host + ": " +
                                               (connack_ < 0 ? std::string("no answer to CONNECT")
                                                             : std::string(mosquitto_connack_string(connack_))));
    return {};
  }

  Result<int> Publish(const store::OutboxMessage& m) {
    int mid = 0;
    const int rc = mosquitto_publish(m_.get(), &mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                     m.payload.data(), m.qos, m.retain);
    if (rc != MOSQ_ERR_SUCCESS) return MakeError(ErrorCode::SendFailed, "MQTT publish: " + Why(rc));
    return mid;
  }

  Result<void> Loop(int timeoutMs) {
    const int rc = mosquitto_loop(m_.get(), timeoutMs, 1);
    if (rc != MOSQ_ERR_SUCCESS)
      return MakeError(ErrorCode::Connect, "MQTT: " + (rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : Why(rc)));
    return {};
  }

  std::vector<int> TakeAcked() { return std::exchange(acked_, {}); }

 private:
  struct Destroy {
    void operator()(mosquitto* m) const {
      mosquitto_disconnect(m);
      mosquitto_destroy(m);
    }
  };
  std::unique_ptr<mosquitto, Destroy> m_;
  int connack_ = -1;
  int tlsResult_ = MOSQ_ERR_SUCCESS;
  std::vector<int> acked_;
};

MqttPublisher::MqttPublisher(MqttSettings settings, std::unique_ptr<store::RecordStore> outbox, std::string origin)
    : settings_(std::move(settings)), outbox_(std::move(outbox)), origin_(std::move(origin)) {}

MqttPublisher::~MqttPublisher() { Stop(); }

void MqttPublisher::Start() {
  if (thread_.joinable()) return;
  InitLibrary();
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
}

void MqttPublisher::Stop() {
  stop_ = true;
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MqttPublisher::Notify() {
  dirty_ = true;
  wake_.notify_all();
}

MqttFigures MqttPublisher::Figures() const {
  const std::scoped_lock lock(mutex_);
  return figures_;
}

bool MqttPublisher::WaitFor(std::chrono::milliseconds d) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, d, [&] { return stop_.load(); });
  return !stop_;
}

void MqttPublisher::Run() {
  const std::string clientId = settings_.clientId.empty() ? "statvtk-collect-" + origin_ : settings_.clientId;
  std::unique_ptr<Session> session;
  struct InFlight {
    int mid;
    std::int64_t id;
  };
  std::deque<InFlight> inflight;
  std::int64_t lastQueued = 0;
  std::chrono::milliseconds backoff = 1s;
  auto lastPeek = std::chrono::steady_clock::now() - kPoll;
  auto note = [&](bool connected, const std::string& error) {
    {
      const std::scoped_lock lock(mutex_);
      if (connected && !figures_.connected) ++figures_.connects;
      figures_.connected = connected;
      if (!error.empty()) figures_.lastError = error;
    }
    if (log_ && !error.empty()) log_(error);
  };
  auto lose = [&](const std::string& why) {
    session.reset();
    inflight.clear();
    lastQueued = 0;  // the oldest unacknowledged message goes out first again
    note(false, why);
  };

  while (!stop_) {
    if (!session) {
      session = std::make_unique<Session>(settings_, clientId);
      if (auto c = session->Connect(settings_); !c) {
        lose(c.error().reason);
        if (!WaitFor(backoff)) break;
        backoff = std::min<std::chrono::milliseconds>(backoff * 2, kMaxBackoff);
        continue;
      }
      backoff = 1s;
      note(true, "");
      if (log_) log_("MQTT: connected to " + settings_.host + ":" + std::to_string(settings_.port));
    }
    const auto now = std::chrono::steady_clock::now();
    if (inflight.size() < kWindow && (dirty_.exchange(false) || !inflight.empty() || now - lastPeek >= kPoll)) {
      lastPeek = now;
      auto waiting = outbox_->Peek(origin_, kWindow + inflight.size());
      if (!waiting) {
        note(true, "MQTT outbox: " + waiting.error().reason);
        if (!WaitFor(1s)) break;
        continue;
      }
      for (const auto& m : *waiting) {
        if (m.id <= lastQueued) continue;
        if (inflight.size() >= kWindow) break;
        auto mid = session->Publish(m);
        if (!mid) break;
        inflight.push_back({*mid, m.id});
        lastQueued = m.id;
      }
    }
    if (auto r = session->Loop(inflight.empty() ? 200 : 10); !r) {
      lose(r.error().reason);
      continue;
    }
    for (const int mid : session->TakeAcked()) {
      for (auto it = inflight.begin(); it != inflight.end(); ++it) {
        if (it->mid != mid) continue;
        // Removed from the outbox only now: a message is never lost, at worst sent twice.
        for (int attempt = 0; attempt < 3 && !outbox_->Ack(it->id); ++attempt) WaitFor(200ms);
        inflight.erase(it);
        const std::scoped_lock lock(mutex_);
        ++figures_.sent;
        break;
      }
    }
  }
  session.reset();
}

}  // namespace statvtk::collect
