#include "collect/config/ini_sections.hpp"

#include <algorithm>
#include <charconv>

namespace statvtk::collect::ini {

namespace {

// The keys each kind of section takes (lower case).
const std::set<std::string> kCollectorKeys{"database",     "clocklimit",    "silentafter",  "retryfirst",
                                           "completeness", "origin",        "http",         "mqtt",
                                           "httptokens",   "httpcert",      "httpkey",      "httpinsecure",
                                           "mqtttopic",    "mqttuser",      "mqttpassword", "mqtttls",
                                           "mqttca",       "mqttdiscovery", "mqttclientid", "keepfiles",
                                           "logdays",      "mqttoutboxmax", "alertwebhook", "alertcommand",
                                           "alertevery",   "leasettl",      "workers",      "alertcommandtimeout"};
const std::set<std::string> kLineKeys{
    "mode",       "tcp",   "serial",    "baud",        "mbus",        "phone",          "modem",
    "init",       "pulse", "byteconst", "packetconst", "packetretry", "connecttimeout", "connectwait",
    "reconnects", "pool",  "listen",    "id",          "shared"};
const std::set<std::string> kModemsKeys{"devices",   "baud",          "init",           "pulse",       "connectwait",
                                        "retrybusy", "retrynoanswer", "retrynocarrier", "dialsperpass"};
const std::set<std::string> kListenKeys{"listen", "allowfrom"};
const std::set<std::string> kInstrumentKeys{"line", "address", "every", "offset", "window", "kinds", "rules"};
const std::set<std::string> kRulesKeys{"nightflow",    "nightsinrow", "continuoushours", "noflowdays",
                                       "reverselimit", "spikefactor", "clockdrift"};

// A value without its comment: a ';' after a blank starts one, as in the
// examples of docs/collect.md and docs/collect-reference.md ("Every=1h   ; hourly"), so a value cannot
// hold a blank followed by a semicolon.
std::string WithoutComment(std::string_view v) {
  for (std::size_t i = 1; i < v.size(); ++i)
    if (v[i] == ';' && (v[i - 1] == ' ' || v[i - 1] == '\t')) {
      v = v.substr(0, i);
      break;
    }
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

std::optional<long long> Integer(std::string_view s, long long lo, long long hi) {
  long long v = 0;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return {};
  return v;
}

std::optional<long long> BaudRate(const std::string& v) {
  const auto b = Integer(v, 1, 1000000);
  if (b && std::find(kBaudRates.begin(), kBaudRates.end(), static_cast<std::uint32_t>(*b)) != kBaudRates.end())
    return b;
  return std::nullopt;
}

std::optional<std::string> AnyText(const std::string& v) { return v; }
std::optional<std::string> NonEmpty(const std::string& v) {
  return v.empty() ? std::nullopt : std::optional<std::string>(v);
}
std::optional<bool> Bool01(const std::string& v) {
  if (v == "0") return false;
  if (v == "1") return true;
  return {};
}

std::string Checker::KeyName(const std::string& key) {
  static const std::map<std::string, std::string> kNames{{"clocklimit", "ClockLimit"},
                                                         {"silentafter", "SilentAfter"},
                                                         {"retryfirst", "RetryFirst"},
                                                         {"mbus", "MBus"},
                                                         {"byteconst", "ByteConst"},
                                                         {"packetconst", "PacketConst"},
                                                         {"packetretry", "PacketRetry"},
                                                         {"connecttimeout", "ConnectTimeout"},
                                                         {"connectwait", "ConnectWait"},
                                                         {"keepfiles", "KeepFiles"},
                                                         {"logdays", "LogDays"},
                                                         {"alertwebhook", "AlertWebhook"},
                                                         {"alertcommand", "AlertCommand"},
                                                         {"alertcommandtimeout", "AlertCommandTimeout"},
                                                         {"alertevery", "AlertEvery"},
                                                         {"retrybusy", "RetryBusy"},
                                                         {"retrynoanswer", "RetryNoAnswer"},
                                                         {"retrynocarrier", "RetryNoCarrier"},
                                                         {"dialsperpass", "DialsPerPass"},
                                                         {"leasettl", "LeaseTtl"},
                                                         {"nightflow", "NightFlow"},
                                                         {"nightsinrow", "NightsInRow"},
                                                         {"continuoushours", "ContinuousHours"},
                                                         {"noflowdays", "NoFlowDays"},
                                                         {"reverselimit", "ReverseLimit"},
                                                         {"spikefactor", "SpikeFactor"},
                                                         {"clockdrift", "ClockDrift"},
                                                         {"allowfrom", "AllowFrom"}};
  const auto it = kNames.find(key);
  if (it != kNames.end()) return it->second;
  std::string k = key;
  if (!k.empty()) k[0] = static_cast<char>(k[0] - 'a' + 'A');
  return k;
}

// The sections of the file with their keys, each key checked against its kind of section.
std::vector<Section> ReadSections(const IniFile& ini, Checker& c) {
  std::vector<Section> sections;
  std::set<std::string> seen;
  for (const auto& e : ini.Entries()) {
    if (e.malformed) {
      c.Problem(e.line, "строка не [секция], не KEY=VALUE и не ;комментарий");
      continue;
    }
    if (e.key.empty()) {
      Section s;
      s.line = e.line;
      const auto blank = e.section.find(' ');
      s.kind = Lower(e.section.substr(0, blank));
      s.name = blank == std::string::npos ? std::string() : e.section.substr(e.section.find_first_not_of(' ', blank));
      const bool named = s.kind == "line" || s.kind == "instrument" || s.kind == "modems" || s.kind == "listen";
      const bool fits = s.kind == "rules" || (s.kind == "collector" ? s.name.empty() : named && !s.name.empty());
      if (!fits)
        c.Problem(e.line,
                  "[" + e.section +
                      "]: неизвестная секция (бывают [Collector], [Line NAME], [Instrument NAME], [Modems NAME], "
                      "[Listen NAME], [Rules] и [Rules NAME])");
      else if (!seen.insert(Lower(e.section)).second) c.Problem(e.line, "[" + e.section + "] встречается дважды");
      sections.push_back(std::move(s));
      continue;
    }
    if (sections.empty()) {
      c.Problem(e.line, e.key + ": параметр вне секции");
      continue;
    }
    Section& s = sections.back();
    const std::string k = Lower(e.key);
    const auto& known = s.kind == "collector" ? kCollectorKeys
                        : s.kind == "line"    ? kLineKeys
                        : s.kind == "modems"  ? kModemsKeys
                        : s.kind == "listen"  ? kListenKeys
                        : s.kind == "rules"   ? kRulesKeys
                                              : kInstrumentKeys;
    if (!known.contains(k)) c.Problem(e.line, e.key + ": неизвестный параметр в [" + e.section + "]");
    else if (!s.values.emplace(k, std::pair(WithoutComment(e.value), e.line)).second)
      c.Problem(e.line, e.key + " задан дважды");
  }
  return sections;
}

}  // namespace statvtk::collect::ini
