// [Modems NAME], [Listen NAME] and [Instrument NAME]: a pool's modems, a
// listener's address, an instrument's line, address and schedule.
#include "collect/config/ini_sections.hpp"

#include <algorithm>

#include "base/host_port.hpp"

namespace statvtk::collect::ini {

namespace {

std::optional<long long> Pause(const std::string& v) { return ParseDuration(v, true); }

}  // namespace

ModemPoolConfig FillPool(Checker& c, const Section& s) {
  ModemPoolConfig p;
  p.name = s.name;
  p.line = s.line;
  if (!s.values.contains("devices")) c.Problem(s.line, "[Modems " + s.name + "]: нет Devices=");
  const std::string devices =
      c.Take<std::string>(s, "devices", "", NonEmpty, "список путей к устройствам через запятую");
  for (std::size_t from = 0; from < devices.size();) {
    std::size_t comma = std::min(devices.find(',', from), devices.size());
    std::string d = devices.substr(from, comma - from);
    d.erase(0, d.find_first_not_of(' '));
    d.erase(d.find_last_not_of(' ') + 1);
    if (!d.empty()) p.devices.push_back(d);
    from = comma + 1;
  }
  if (s.values.contains("devices") && p.devices.empty())
    c.Problem(s.values.at("devices").second, "Devices=: нужен хотя бы один путь к устройству");
  p.baud = static_cast<std::uint32_t>(
      c.Take<long long>(s, "baud", p.baud, BaudRate, "одно из 2400, 4800, 9600, 57600, 115200"));
  p.init = c.Take<std::string>(s, "init", "", AnyText, "");
  p.pulse = c.Take<bool>(s, "pulse", false, Bool01, "0 или 1");
  p.connectWaitS = static_cast<int>(c.Take<long long>(s, "connectwait", 60, Range(1, 255), "1..255 с"));
  p.retryBusyS = c.Take<long long>(s, "retrybusy", p.retryBusyS, Pause, "длительность, например 90s, 2m");
  p.retryNoAnswerS = c.Take<long long>(s, "retrynoanswer", p.retryNoAnswerS, Pause, "длительность, например 15m");
  p.retryNoCarrierS = c.Take<long long>(s, "retrynocarrier", p.retryNoCarrierS, Pause, "длительность, например 5m");
  p.dialsPerPass = static_cast<int>(c.Take<long long>(s, "dialsperpass", 3, Range(1, 100), "1..100"));
  return p;
}

ListenConfig FillListen(Checker& c, const Section& s) {
  ListenConfig l;
  l.name = s.name;
  l.line = s.line;
  if (!s.values.contains("listen")) c.Problem(s.line, "[Listen " + s.name + "]: нет Listen=HOST:PORT");
  const auto at = c.Take<std::optional<HostPort>>(
      s, "listen", std::nullopt,
      [](const std::string& v) -> std::optional<std::optional<HostPort>> {
        auto hp = ParseHostPort(v);
        if (!hp) return std::nullopt;
        return std::optional(*hp);
      },
      "HOST:PORT, например 0.0.0.0:5000");
  if (at) l.host = at->host, l.port = at->port;
  if (const auto it = s.values.find("allowfrom"); it != s.values.end()) {
    std::string bad;
    if (auto ranges = ParseAddressRanges(it->second.first, &bad)) l.allowFrom = std::move(*ranges);
    else
      c.Problem(it->second.second, "[Listen " + s.name + "] AllowFrom=" + it->second.first + ": \"" + bad +
                                       "\" не диапазон адресов CIDR (например 10.64.0.0/10, 192.0.2.7 или fd00::/8)");
  }
  return l;
}

InstrumentConfig FillInstrument(Checker& c, const Section& s, const Config& cfg,
                                std::set<std::pair<std::string, std::uint32_t>>& addresses) {
  InstrumentConfig in;
  in.name = s.name;
  in.lineNo = s.line;
  in.line = c.Take<std::string>(s, "line", "", NonEmpty, "имя секции [Line NAME]");
  const LineConfig* line = cfg.Line(in.line);
  if (!s.values.contains("line")) c.Problem(s.line, "[Instrument " + s.name + "]: нет Line=");
  else if (!line && !in.line.empty())
    c.Problem(s.values.at("line").second, "Line=" + in.line + ": в файле нет [Line " + in.line + "]");
  const bool mbus = line && line->spec.useMBus;
  in.address = static_cast<std::uint32_t>(c.Take<long long>(s, "address", 1, Range(0, mbus ? 0xFFFFFFFFLL : 255),
                                                            mbus ? "0..4294967295" : "0..255 (M-Bus: MBus=1)"));
  if (line && !addresses.insert({Lower(in.line), in.address}).second)
    c.Problem(s.values.contains("address") ? s.values.at("address").second : s.line,
              "Address=" + std::to_string(in.address) + ": этот адрес уже у другого прибора линии " + in.line);
  in.everyS = c.Take<long long>(
      s, "every", in.everyS, [](const std::string& v) { return ParseDuration(v); },
      "длительность, например 1h, 1d, 30m");
  in.offsetS = c.Take<long long>(
      s, "offset", 0, [](const std::string& v) { return ParseDuration(v, true); }, "длительность, например 0, 5m, 2h");
  in.window = c.Take<std::optional<TimeWindow>>(
      s, "window", std::nullopt,
      [](const std::string& v) -> std::optional<std::optional<TimeWindow>> {
        auto w = ParseWindow(v);
        if (!w) return std::nullopt;
        return std::optional(w);
      },
      "HH:MM-HH:MM");
  in.kinds = c.Take<Kinds>(
      s, "kinds", in.kinds, [](const std::string& v) { return ParseKinds(v); },
      "список из hourly, daily, monthly, events");
  in.rulesName = c.Take<std::string>(s, "rules", "", NonEmpty, "имя секции [Rules NAME]");
  if (const RuleSet* rules = cfg.Rules(in.rulesName)) {
    in.rules = rules->settings;
    in.clockDriftS = rules->clockDriftS;
  } else if (in.rulesName.empty()) {
    in.rules = cfg.rules;
    in.clockDriftS = cfg.clockDriftS;
  } else {
    c.Problem(s.values.at("rules").second, "Rules=" + in.rulesName + ": в файле нет [Rules " + in.rulesName + "]");
  }
  return in;
}

}  // namespace statvtk::collect::ini
