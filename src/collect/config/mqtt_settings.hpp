// The MQTT keys of [Collector] in collect.ini: broker, topic prefix, login,
// TLS, Home Assistant discovery.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace statvtk::collect {

struct MqttSettings {
  std::string host;  // empty: MQTT is off
  int port = 1883;
  std::string topic = "statvtk";  // the prefix, without a trailing '/'
  std::string user, password;
  bool tls = false;
  std::string caFile;      // MqttCa=: the CA certificates (PEM); empty: the system's
  bool discovery = false;  // MqttDiscovery=1
  std::string clientId;    // MqttClientId=; empty: "statvtk-collect-<origin>"
  // MqttOutboxMax=: messages waiting for the broker past which the retained
  // messages a newer one of their topic supersedes, then the oldest record
  // messages, are dropped (the newest retained message of a topic never is).
  std::int64_t outboxMax = 100000;
  bool On() const { return !host.empty(); }
};

// The keys this reads: Mqtt, MqttTopic, MqttUser, MqttPassword, MqttTls,
// MqttCa, MqttDiscovery, MqttClientId, MqttOutboxMax. `value(key)` gives a key's text when
// present. A bad value is the error naming the key.
Result<MqttSettings> ParseMqttSettings(const std::function<std::optional<std::string>(std::string_view)>& value);

// Whether `key` is one of the keys above (the configuration check refuses others).
bool IsMqttKey(std::string_view key);

}  // namespace statvtk::collect
