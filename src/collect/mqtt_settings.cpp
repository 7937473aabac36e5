#include "collect/mqtt_settings.hpp"

#include <array>
#include <charconv>

namespace statvtk::collect {

namespace {

constexpr std::array<std::string_view, 8> kKeys{"Mqtt",    "MqttTopic", "MqttUser",      "MqttPassword",
                                                "MqttTls", "MqttCa",    "MqttDiscovery", "MqttClientId"};

Error Bad(std::string_view key, std::string_view value, std::string_view want) {
  return MakeError(ErrorCode::BadSettings,
                   std::string(key) + "=" + std::string(value) + ": " + std::string(want) + " expected");
}

std::optional<bool> Flag(std::string_view v) {
  if (v == "1" || v == "yes" || v == "true") return true;
  if (v == "0" || v == "no" || v == "false" || v.empty()) return false;
  return std::nullopt;
}

}  // namespace

bool IsMqttKey(std::string_view key) {
  for (auto k : kKeys)
    if (k == key) return true;
  return false;
}

Result<MqttSettings> ParseMqttSettings(const std::function<std::optional<std::string>(std::string_view)>& value) {
  MqttSettings s;
  if (const auto broker = value("Mqtt"); broker && !broker->empty()) {
    const auto colon = broker->rfind(':');
    s.host = broker->substr(0, colon);
    if (colon != std::string::npos) {
      const std::string_view port = std::string_view(*broker).substr(colon + 1);
      int p = 0;
      const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
      if (ec != std::errc() || end != port.data() + port.size() || p <= 0 || p > 65535)
        return Bad("Mqtt", *broker, "HOST:PORT");
      s.port = p;
    }
    if (s.host.empty()) return Bad("Mqtt", *broker, "HOST:PORT");
  }
  if (const auto t = value("MqttTopic")) {
    std::string topic = *t;
    while (!topic.empty() && topic.back() == '/') topic.pop_back();
    if (topic.empty() || topic.find_first_of("#+") != std::string::npos || topic.front() == '/')
      return Bad("MqttTopic", *t, "a topic prefix without '#', '+' or a leading '/'");
    s.topic = topic;
  }
  if (const auto u = value("MqttUser")) s.user = *u;
  if (const auto p = value("MqttPassword")) s.password = *p;
  if (const auto t = value("MqttTls")) {
    const auto f = Flag(*t);
    if (!f) return Bad("MqttTls", *t, "0 or 1");
    s.tls = *f;
  }
  if (const auto c = value("MqttCa")) s.caFile = *c;
  if (const auto d = value("MqttDiscovery")) {
    const auto f = Flag(*d);
    if (!f) return Bad("MqttDiscovery", *d, "0 or 1");
    s.discovery = *f;
  }
  if (const auto id = value("MqttClientId")) s.clientId = *id;
  return s;
}

}  // namespace statvtk::collect
