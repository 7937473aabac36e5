// [Collector]: the store, the page and API, MQTT, the alerts, the leases.
#include "collect/config/ini_sections.hpp"

#include "base/host_port.hpp"

namespace statvtk::collect::ini {

namespace {

std::optional<KeepFiles> KeepFilesOf(const std::string& v) {
  const std::string l = Lower(v);
  if (l == "newest") return KeepFiles::Newest;
  if (l == "all") return KeepFiles::All;
  if (l == "none") return KeepFiles::None;
  return std::nullopt;
}

}  // namespace

void FillCollector(Checker& c, const Section& s, CollectorConfig& col) {
  col.database = c.Take<std::string>(s, "database", col.database, NonEmpty, "путь к файлу или postgresql://...");
  col.clockLimitS = c.Take<long long>(
      s, "clocklimit", col.clockLimitS, [](const std::string& v) { return ParseDuration(v, true); },
      "длительность, например 300, 5m, 1h");
  col.silentAfter = static_cast<int>(c.Take<long long>(s, "silentafter", col.silentAfter, Range(1, 1000), "1..1000"));
  col.retryFirstS = c.Take<long long>(
      s, "retryfirst", col.retryFirstS, [](const std::string& v) { return ParseDuration(v); }, "длительность больше 0");
  col.completenessDays =
      static_cast<int>(c.Take<long long>(s, "completeness", col.completenessDays, Range(1, 366), "1..366 дней"));
  col.origin = c.Take<std::string>(s, "origin", "", AnyText, "");
  col.keepFiles = c.Take<KeepFiles>(s, "keepfiles", col.keepFiles, KeepFilesOf, "newest, all или none");
  col.logDays = static_cast<int>(c.Take<long long>(s, "logdays", col.logDays, Range(1, 36500), "1..36500 дней"));
  col.http = c.Take<std::string>(
      s, "http", "",
      [](const std::string& v) { return ParseHostPort(v, kHttpAddress) ? std::optional(v) : std::nullopt; },
      "HOST:PORT, например 127.0.0.1:8080");
  if (const auto it = s.values.find("http"); it != s.values.end()) col.httpLine = it->second.second;
  col.httpTokens = c.Take<std::string>(s, "httptokens", col.httpTokens, NonEmpty, "путь к файлу");
  col.httpCert = c.Take<std::string>(s, "httpcert", "", NonEmpty, "файл сертификата PEM");
  col.httpKey = c.Take<std::string>(s, "httpkey", "", NonEmpty, "файл закрытого ключа PEM");
  col.httpInsecure = c.Take<long long>(s, "httpinsecure", 0, Range(0, 1), "0 или 1") == 1;
  if (col.httpCert.empty() != col.httpKey.empty())
    c.Problem(s.values.contains("httpcert") ? s.values.at("httpcert").second : s.values.at("httpkey").second,
              "HttpCert= и HttpKey= задаются вместе (сертификат и его закрытый ключ)");
  col.alertWebhook = c.Take<std::string>(
      s, "alertwebhook", "",
      [](const std::string& v) {
        return v.starts_with("http://") || v.starts_with("https://") ? std::optional(v) : std::nullopt;
      },
      "адрес http:// или https://");
  col.alertCommand = c.Take<std::string>(s, "alertcommand", "", NonEmpty, "программа для запуска");
  col.alertEveryS = c.Take<long long>(
      s, "alertevery", col.alertEveryS, [](const std::string& v) { return ParseDuration(v); }, "длительность больше 0");
  col.alertCommandTimeoutS = c.Take<long long>(
      s, "alertcommandtimeout", col.alertCommandTimeoutS, [](const std::string& v) { return ParseDuration(v); },
      "длительность больше 0");
  col.leaseTtlS = c.Take<long long>(
      s, "leasettl", col.leaseTtlS,
      [](const std::string& v) {
        const auto d = ParseDuration(v);
        return d && *d >= 5 && *d <= 3600 ? d : std::nullopt;
      },
      "длительность от 5s до 1h");
  col.workers = static_cast<int>(c.Take<long long>(s, "workers", col.workers, Range(1, 1024), "1..1024"));
  auto mqtt = ParseMqttSettings([&](std::string_view key) -> std::optional<std::string> {
    const auto it = s.values.find(Lower(std::string(key)));
    return it == s.values.end() ? std::nullopt : std::optional<std::string>(it->second.first);
  });
  if (mqtt) col.mqtt = std::move(*mqtt);
  else c.Problem(s.values.contains("mqtt") ? s.values.at("mqtt").second : s.line, mqtt.error().reason);
}

}  // namespace statvtk::collect::ini
