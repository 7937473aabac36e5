#include "collect/config/mqtt_settings.hpp"

#include <array>
#include <charconv>

#include "base/host_port.hpp"
#include "base/printable_text.hpp"
#include "base/utf8.hpp"

namespace statvtk::collect {

namespace {

constexpr std::array<std::string_view, 9> kKeys{"Mqtt",   "MqttTopic",     "MqttUser",     "MqttPassword", "MqttTls",
                                                "MqttCa", "MqttDiscovery", "MqttClientId", "MqttOutboxMax"};

Error Bad(std::string_view key, std::string_view value, std::string_view want) {
  return MakeError(ErrorCode::BadSettings,
                   std::string(key) + "=" + std::string(value) + ": ожидается " + std::string(want));
}

std::optional<bool> Flag(std::string_view v) {
  if (v == "1" || v == "yes" || v == "true") return true;
  if (v == "0" || v == "no" || v == "false" || v.empty()) return false;
  return std::nullopt;
}

// C0 and C1 control characters and DEL, which MQTT does not take in a topic.
bool HasControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = Utf8Length(text, i, &cp);
    if (len == 0 || cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
    i += len;
  }
  return false;
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
    const auto at = ParseHostPort(*broker, {.defaultHost = nullptr, .defaultPort = 1883, .minPort = 1});
    if (!at) return Bad("Mqtt", *broker, "HOST:PORT");
    s.host = at->host;
    s.port = at->port;
  }
  if (const auto t = value("MqttTopic")) {
    std::string topic = *t;
    while (!topic.empty() && topic.back() == '/') topic.pop_back();
    if (topic.empty() || topic.find_first_of("#+") != std::string::npos || topic.front() == '/')
      return Bad("MqttTopic", *t, "префикс темы без '#', '+' и без '/' в начале");
    // The broker refuses every topic that is not UTF-8 or holds a control
    // character: nothing would ever be published.
    if (!IsUtf8(topic) || HasControl(topic))
      return Bad("MqttTopic", PrintableText(*t), "текст UTF-8 без управляющих символов");
    s.topic = topic;
  }
  if (const auto u = value("MqttUser")) s.user = *u;
  if (const auto p = value("MqttPassword")) s.password = *p;
  if (const auto t = value("MqttTls")) {
    const auto f = Flag(*t);
    if (!f) return Bad("MqttTls", *t, "0 или 1");
    s.tls = *f;
  }
  if (const auto c = value("MqttCa")) s.caFile = *c;
  if (const auto d = value("MqttDiscovery")) {
    const auto f = Flag(*d);
    if (!f) return Bad("MqttDiscovery", *d, "0 или 1");
    s.discovery = *f;
  }
  if (const auto id = value("MqttClientId")) s.clientId = *id;
  if (const auto m = value("MqttOutboxMax")) {
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(m->data(), m->data() + m->size(), n);
    if (ec != std::errc() || end != m->data() + m->size() || n < 1 || n > 100000000)
      return Bad("MqttOutboxMax", *m, "число сообщений 1..100000000");
    s.outboxMax = n;
  }
  return s;
}

}  // namespace statvtk::collect
