// A test's MQTT subscriber (libmosquitto on its own network thread): a
// durable session (clean_session off, QoS 1), so what is published while it
// is away waits for it at the broker; every message kept in arrival order.
#pragma once

#include <mosquitto.h>

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/wait_until.hpp"

namespace statvtk::test {

struct MqttMessage {
  std::string topic, payload;
  bool retain = false;
};

class MqttSubscriber {
 public:
  static constexpr std::string_view kMarker = "statvtk-test-marker";

  MqttSubscriber(int port, std::string filter, std::string clientId = "statvtk-test-subscriber")
      : port_(port), filter_(std::move(filter)) {
    mosquitto_lib_init();
    m_ = mosquitto_new(clientId.c_str(), false, this);
    mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int rc) {
      auto* s = static_cast<MqttSubscriber*>(self);
      if (rc == 0) mosquitto_subscribe(m, nullptr, s->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
      auto* s = static_cast<MqttSubscriber*>(self);
      const std::scoped_lock lock(s->mutex_);
      s->subscribed_ = true;
    });
    mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* msg) {
      auto* s = static_cast<MqttSubscriber*>(self);
      // The collectors' availability (PREFIX/collector/ORIGIN/status) only
      // for a subscriber that asks for it by name: the others count the reads' messages.
      if (std::string_view(msg->topic).find("/collector/") != std::string_view::npos &&
          s->filter_.find("/collector/") == std::string::npos)
        return;
      const std::scoped_lock lock(s->mutex_);
      if (std::string_view(msg->topic).ends_with(kMarker)) {
        ++s->markersSeen_;
        return;
      }
      s->messages_.push_back(
          {msg->topic, std::string(static_cast<const char*>(msg->payload), static_cast<std::size_t>(msg->payloadlen)),
           msg->retain});
    });
    mosquitto_reconnect_delay_set(m_, 1, 1, false);
  }
  ~MqttSubscriber() {
    // The loop thread ends on the disconnect; cancelling it instead could
    // leave the library's mutexes locked as the client is destroyed.
    mosquitto_disconnect(m_);
    mosquitto_loop_stop(m_, false);
    mosquitto_destroy(m_);
  }
  MqttSubscriber(const MqttSubscriber&) = delete;
  MqttSubscriber& operator=(const MqttSubscriber&) = delete;

  // Connects (and reconnects by itself after the broker went away); true once subscribed.
  bool Connect() {
    if (mosquitto_connect(m_, "127.0.0.1", port_, 30) != MOSQ_ERR_SUCCESS) return false;
    mosquitto_loop_start(m_);
    return WaitUntil([&] {
      const std::scoped_lock lock(mutex_);
      return subscribed_;
    });
  }
  // Everything the broker took for this subscriber before now has come, and
  // what the subscriber acknowledged has reached the broker: a marker it
  // sends on its own connection came back to it behind them (one client's
  // packets and one subscriber's queue keep their order). The filter must
  // end in "#"; the marker is not kept among the messages.
  bool Flushed() {
    std::size_t sent = 0;
    {
      const std::scoped_lock lock(mutex_);
      sent = ++markersSent_;
    }
    const std::string topic = filter_.substr(0, filter_.size() - 1) + std::string(kMarker);
    if (mosquitto_publish(m_, nullptr, topic.c_str(), 0, nullptr, 1, false) != MOSQ_ERR_SUCCESS) return false;
    return WaitUntil(
        [&] {
          const std::scoped_lock lock(mutex_);
          return markersSeen_ >= sent;
        },
        std::chrono::seconds(60));
  }
  std::vector<MqttMessage> Messages() {
    const std::scoped_lock lock(mutex_);
    return messages_;
  }
  std::size_t Count() {
    const std::scoped_lock lock(mutex_);
    return messages_.size();
  }
  bool WaitForCount(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    return WaitUntil([&] { return Count() >= n; }, limit);
  }

 private:
  int port_;
  std::string filter_;
  mosquitto* m_ = nullptr;
  std::mutex mutex_;
  bool subscribed_ = false;
  std::size_t markersSent_ = 0, markersSeen_ = 0;
  std::vector<MqttMessage> messages_;
};

}  // namespace statvtk::test
