#include "collect/mqtt/publisher.hpp"

#include <mosquitto.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "collect/mqtt/topics.hpp"

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
  // `status`: the collector's availability topic, "offline" as its last will.
  Session(const MqttSettings& s, const std::string& clientId, const std::string& status)
      : m_(mosquitto_new(clientId.c_str(), true, this)) {
    if (!m_) return;
    mosquitto_int_option(m_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    willResult_ =
        mosquitto_will_set(m_.get(), status.c_str(), static_cast<int>(kOffline.size()), kOffline.data(), 1, true);
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
    if (!m_) return MakeError(ErrorCode::BadData, "MQTT: клиент не создан (не хватает памяти)");
    if (tlsResult_ != MOSQ_ERR_SUCCESS) return MakeError(ErrorCode::BadSettings, "MQTT TLS: " + Why(tlsResult_));
    if (willResult_ != MOSQ_ERR_SUCCESS) return MakeError(ErrorCode::BadSettings, "MQTT will: " + Why(willResult_));
    const int rc = mosquitto_connect(m_.get(), s.host.c_str(), s.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS)
      return MakeError(ErrorCode::Connect, "MQTT " + s.host + ":" + std::to_string(s.port) + ": " +
                                               (rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : Why(rc)));
    const auto until = std::chrono::steady_clock::now() + kConnackWait;
    while (connack_ < 0 && std::chrono::steady_clock::now() < until)
      if (auto r = Loop(100); !r) return r.error();
    if (connack_ != 0)
      return MakeError(ErrorCode::Connect, "MQTT " + s.host + ": " +
                                               (connack_ < 0 ? std::string("нет ответа на CONNECT")
                                                             : std::string(mosquitto_connack_string(connack_))));
    return {};
  }

  // The collector's availability, retained; true once the broker has it
  // (`waitMs` 0: sent without waiting).
  bool SayStatus(const std::string& topic, std::string_view text, int waitMs) {
    int mid = 0;
    if (mosquitto_publish(m_.get(), &mid, topic.c_str(), static_cast<int>(text.size()), text.data(), 1, true) !=
        MOSQ_ERR_SUCCESS)
      return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < until) {
      if (std::find(acked_.begin(), acked_.end(), mid) != acked_.end()) return true;
      if (!Loop(50)) return false;
    }
    return waitMs == 0;
  }

  // BadData: the library refuses this message itself (its topic, its size),
  // so it can never go out; anything else is the connection's.
  Result<int> Publish(const store::OutboxMessage& m) {
    int mid = 0;
    const int rc = mosquitto_publish(m_.get(), &mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                     m.payload.data(), m.qos, m.retain);
    const bool never = rc == MOSQ_ERR_MALFORMED_UTF8 || rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_PAYLOAD_SIZE ||
                       rc == MOSQ_ERR_OVERSIZE_PACKET;
    if (rc != MOSQ_ERR_SUCCESS)
      return MakeError(never ? ErrorCode::BadData : ErrorCode::SendFailed, "MQTT publish: " + Why(rc));
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
  int willResult_ = MOSQ_ERR_SUCCESS;
  std::vector<int> acked_;
};

MqttPublisher::MqttPublisher(MqttSettings settings, std::unique_ptr<store::RecordStore> outbox, std::string origin)
    : settings_(std::move(settings)),
      connection_(std::move(outbox)),
      outbox_(*connection_),
      collectors_(*connection_),
      origin_(std::move(origin)) {}

MqttPublisher::~MqttPublisher() { Stop(); }

void MqttPublisher::Start() {
  if (thread_.joinable()) return;
  InitLibrary();
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
}

void MqttPublisher::RequestStop() {
  {
    // Set under the mutex: a WaitFor between its look at stop_ and its wait cannot miss it.
    const std::scoped_lock lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void MqttPublisher::Stop() {
  RequestStop();
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

struct MqttPublisher::Loop {
  struct InFlight {
    int mid;
    std::int64_t id;
  };
  std::unique_ptr<Session> session;
  std::deque<InFlight> inflight;
  std::chrono::milliseconds backoff = 1s;
  std::chrono::steady_clock::time_point lastPeek = std::chrono::steady_clock::now() - kPoll;
  std::chrono::steady_clock::time_point lastAdopt = std::chrono::steady_clock::now();
  std::string lastFault;
};

void MqttPublisher::Note(bool connected, const std::string& error) {
  {
    const std::scoped_lock lock(mutex_);
    if (connected && !figures_.connected) ++figures_.connects;
    figures_.connected = connected;
    if (!error.empty()) figures_.lastError = error;
  }
  if (log_ && !error.empty()) log_(error, {.event = LogEvent::BrokerDown});
}

void MqttPublisher::Lose(Loop& l, const std::string& why) {
  l.session.reset();
  l.inflight.clear();  // the oldest unacknowledged message goes out first again
  Note(false, why);
}

bool MqttPublisher::Connect(Loop& l) {
  const std::string clientId = settings_.clientId.empty() ? "statvtk-collect-" + origin_ : settings_.clientId;
  l.session = std::make_unique<Session>(settings_, clientId, StatusTopic(settings_.topic, origin_));
  if (auto c = l.session->Connect(settings_); !c) {
    Lose(l, c.error().reason);
    if (!WaitFor(l.backoff)) return false;
    l.backoff = std::min<std::chrono::milliseconds>(l.backoff * 2, kMaxBackoff);
    return true;
  }
  l.backoff = 1s;
  l.session->SayStatus(StatusTopic(settings_.topic, origin_), kOnline, 0);
  Note(true, "");
  if (log_)
    log_("MQTT: брокер " + settings_.host + ":" + std::to_string(settings_.port) + " на связи",
         {.event = LogEvent::BrokerUp});
  return true;
}

bool MqttPublisher::SendWaiting(Loop& l) {
  l.lastPeek = std::chrono::steady_clock::now();
  auto waiting = outbox_.Peek(origin_, kWindow + l.inflight.size());
  if (!waiting) {
    Note(true, "MQTT, очередь сообщений: " + waiting.error().reason);
    return WaitFor(1s);
  }
  for (const auto& m : *waiting) {
    // Not by the newest id sent: adopted messages come with older ids.
    if (std::any_of(l.inflight.begin(), l.inflight.end(), [&](const auto& f) { return f.id == m.id; })) continue;
    if (l.inflight.size() >= kWindow) break;
    auto mid = l.session->Publish(m);
    if (!mid && mid.error().code == ErrorCode::BadData) {
      // It would stop every message behind it for good: said once, and left out.
      if (log_)
        log_(mid.error().reason + ": сообщение " + std::to_string(m.id) + " в " + m.topic + " отброшено",
             {.event = LogEvent::MessageDropped});
      if (auto acked = outbox_.Ack(m.id); !acked) {
        Note(true, "MQTT, очередь сообщений: " + acked.error().reason);
        break;
      }
      continue;
    }
    if (!mid) break;
    l.inflight.push_back({*mid, m.id});
  }
  return true;
}

void MqttPublisher::Adopt(Loop& l) {
  l.lastAdopt = std::chrono::steady_clock::now();
  const std::int64_t unseenS = 2 * adoptEvery_.count();
  auto collectors = collectors_.Collectors(unseenS);
  if (!collectors) {
    Note(true, "MQTT, очередь сообщений: " + collectors.error().reason);
    return;
  }
  std::string from;
  for (const auto& c : *collectors) {
    if (c.alive || c.origin == origin_) continue;
    auto waiting = outbox_.OutboxSize(c.origin);
    if (waiting && *waiting > 0) from += (from.empty() ? "" : ", ") + c.origin;
  }
  if (from.empty()) return;
  auto adopted = collectors_.AdoptOutbox(origin_, unseenS);
  if (!adopted) {
    Note(true, "MQTT, очередь сообщений: " + adopted.error().reason);
    return;
  }
  if (*adopted == 0) return;
  if (log_)
    log_("MQTT: сообщений сборщиков " + from + " (их не видно " + std::to_string(unseenS) +
         " с) взято для отправки отсюда: " + std::to_string(*adopted));
  dirty_ = true;
}

void MqttPublisher::TakeAcks(Loop& l) {
  for (const int mid : l.session->TakeAcked()) {
    for (auto it = l.inflight.begin(); it != l.inflight.end(); ++it) {
      if (it->mid != mid) continue;
      // Removed from the outbox only now: a message is never lost, at worst sent twice.
      for (int attempt = 0; attempt < 3 && !outbox_.Ack(it->id); ++attempt) WaitFor(200ms);
      l.inflight.erase(it);
      const std::scoped_lock lock(mutex_);
      ++figures_.sent;
      break;
    }
  }
}

// One turn: connect when there is no connection, send what waits, let the
// library work, take the acknowledgements. False when stopping.
bool MqttPublisher::Turn(Loop& l) {
  if (!l.session) return Connect(l);
  const auto now = std::chrono::steady_clock::now();
  if (adoptEvery_.count() > 0 && now - l.lastAdopt >= adoptEvery_) Adopt(l);
  if (l.inflight.size() < kWindow && (dirty_.exchange(false) || !l.inflight.empty() || now - l.lastPeek >= kPoll))
    if (!SendWaiting(l)) return false;
  if (auto r = l.session->Loop(l.inflight.empty() ? 200 : 10); !r) {
    Lose(l, r.error().reason);
    return true;
  }
  TakeAcks(l);
  return true;
}

void MqttPublisher::Run() {
  Loop l;
  l.lastAdopt -= adoptEvery_;  // the first look once connected
  while (!stop_) {
    // Nothing the store or the library throws ends the thread: the fault is
    // logged (once while it repeats), the connection started again.
    try {
      if (!Turn(l)) break;
      continue;
    } catch (const std::exception& e) {
      if (e.what() != l.lastFault && log_)
        log_(std::string("MQTT: внутренняя ошибка: ") + e.what(), {.event = LogEvent::InternalFault});
      l.lastFault = e.what();
    } catch (...) {
      if (l.lastFault != "?" && log_) log_("MQTT: внутренняя ошибка", {.event = LogEvent::InternalFault});
      l.lastFault = "?";
    }
    Lose(l, "");
    if (!WaitFor(l.backoff)) break;
  }
  // A clean stop says so itself (the broker sends the will only for a
  // connection that breaks).
  if (l.session) l.session->SayStatus(StatusTopic(settings_.topic, origin_), kOffline, 1000);
  l.session.reset();
}

}  // namespace statvtk::collect
