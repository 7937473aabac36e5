// Sends the outbox to the broker (libmosquitto), on its own thread: oldest
// message first, QoS 1, each removed from the outbox only when the broker
// acknowledged it. A broker that is down or goes away never blocks the
// collection: messages wait in the store and go out in order when it is back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "collect/config/mqtt_settings.hpp"
#include "collect/fleet/log_fields.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct MqttFigures {
  std::int64_t sent = 0;      // acknowledged by the broker
  std::int64_t connects = 0;  // successful connections
  bool connected = false;
  std::string lastError;  // why the last connection failed or ended
};

class MqttPublisher {
 public:
  // `outbox` is the store connection the publisher reads and acknowledges
  // through (its own; the collector writes messages with its writer).
  // `origin` selects this collector's messages.
  MqttPublisher(MqttSettings settings, std::unique_ptr<store::RecordStore> outbox, std::string origin);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  void Start();
  // The thread is to end (a back-off or a wait ends at once); returns at once.
  void RequestStop();
  // RequestStop() and the thread joined; what was not acknowledged stays in the outbox.
  void Stop();
  // New messages were committed: look now rather than at the next poll.
  void Notify();
  MqttFigures Figures() const;
  // Optional: a line for the log when the broker connection comes or goes.
  void SetLog(LogTo log) { log_ = std::move(log); }
  // Collectors sharing the store: every `every` (while the broker is
  // connected) the outbox of a collector not seen for twice that becomes
  // this one's, sent in order behind what is in flight. Before Start.
  void AdoptEvery(std::chrono::seconds every) { adoptEvery_ = every; }

 private:
  class Session;
  struct Loop;
  void Run();
  bool Turn(Loop& l);
  bool Connect(Loop& l);
  bool SendWaiting(Loop& l);
  void Adopt(Loop& l);
  void TakeAcks(Loop& l);
  void Lose(Loop& l, const std::string& why);
  void Note(bool connected, const std::string& error);
  bool WaitFor(std::chrono::milliseconds d);  // false when stopping

  MqttSettings settings_;
  // The publisher's own connection; it uses the outbox and, to adopt the
  // messages of collectors gone, the collectors' role.
  std::unique_ptr<store::RecordStore> connection_;
  store::OutboxStore& outbox_;
  store::LeaseStore& collectors_;
  std::string origin_;
  LogTo log_;
  std::chrono::seconds adoptEvery_{0};  // 0: the outbox is this collector's alone
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> dirty_{true};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  MqttFigures figures_;
};

}  // namespace statvtk::collect
