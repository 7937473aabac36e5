#include "collect/config/collect_config.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/host_port.hpp"
#include "base/ini_file.hpp"
#include "base/utf8.hpp"

namespace statvtk::collect {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<long long> Integer(std::string_view s, long long lo, long long hi) {
  long long v = 0;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return {};
  return v;
}

// A speed the link can set.
std::optional<long long> BaudRate(const std::string& v) {
  const auto b = Integer(v, 1, 1000000);
  if (b && std::find(kBaudRates.begin(), kBaudRates.end(), static_cast<std::uint32_t>(*b)) != kBaudRates.end())
    return b;
  return std::nullopt;
}

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
const std::set<std::string> kListenKeys{"listen"};
const std::set<std::string> kInstrumentKeys{"line", "address", "every", "offset", "window", "kinds"};

struct Section {
  std::string kind;  // "collector", "line", "instrument"
  std::string name;
  int line = 0;
  std::map<std::string, std::pair<std::string, int>> values;  // lower-case key -> value, line
};

class Checker {
 public:
  std::vector<ConfigProblem> problems;
  void Problem(int line, std::string reason) { problems.push_back({line, std::move(reason)}); }

  // The value of `key`, checked by `parse`; `def` when absent.
  template <class T, class Parse>
  T Take(const Section& s, const std::string& key, T def, Parse parse, const std::string& expected) {
    const auto it = s.values.find(key);
    if (it == s.values.end()) return def;
    auto v = parse(it->second.first);
    if (!v) {
      Problem(it->second.second, KeyName(key) + "=" + it->second.first + ": " + expected);
      return def;
    }
    return *v;
  }
  static std::string KeyName(const std::string& key) {
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
                                                           {"leasettl", "LeaseTtl"}};
    const auto it = kNames.find(key);
    if (it != kNames.end()) return it->second;
    std::string k = key;
    if (!k.empty()) k[0] = static_cast<char>(k[0] - 'a' + 'A');
    return k;
  }
};

std::optional<std::string> AnyText(const std::string& v) { return v; }
std::optional<std::string> NonEmpty(const std::string& v) {
  return v.empty() ? std::nullopt : std::optional<std::string>(v);
}
auto Range(long long lo, long long hi) {
  return [lo, hi](const std::string& v) { return Integer(v, lo, hi); };
}
std::optional<bool> Bool01(const std::string& v) {
  if (v == "0") return false;
  if (v == "1") return true;
  return {};
}

// The line's spec straight from its section: the carrier, its timing (the
// transport's recommended triple unless given), M-Bus and the modem's dialing.
void FillLine(Checker& c, const Section& s, LineConfig& l) {
  LineSpec& spec = l.spec;
  const std::string mode = c.Take<std::string>(
      s, "mode", "tcp",
      [](const std::string& v) {
        const std::string m = Lower(v);
        return m == "tcp" || m == "serial" || m == "modem" || m == "incoming" ? std::optional(m) : std::nullopt;
      },
      "tcp, serial, modem or incoming");
  l.mode = mode == "serial"     ? LineMode::Serial
           : mode == "modem"    ? LineMode::Modem
           : mode == "incoming" ? LineMode::Incoming
                                : LineMode::Tcp;
  spec.mode = l.mode == LineMode::Serial  ? ConnectMode::Serial
              : l.mode == LineMode::Modem ? ConnectMode::Modem
                                          : ConnectMode::Tcp;
  l.pool = c.Take<std::string>(s, "pool", "", NonEmpty, "the name of a [Modems NAME]");
  l.listen = c.Take<std::string>(s, "listen", "", NonEmpty, "the name of a [Listen NAME]");
  l.id = c.Take<std::string>(s, "id", "", NonEmpty, "the text its modem sends first");
  if (!l.pool.empty() && l.mode != LineMode::Modem) c.Problem(s.values.at("pool").second, "Pool= goes with Mode=modem");
  if (!l.pool.empty() && s.values.contains("modem"))
    c.Problem(s.values.at("pool").second, "[Line " + s.name + "]: Modem= or Pool=, not both");
  l.shared = c.Take<bool>(s, "shared", false, Bool01, "0 or 1");
  if (l.shared && (!l.pool.empty() || l.mode == LineMode::Incoming))
    c.Problem(s.values.at("shared").second,
              "[Line " + s.name +
                  "]: Shared=1 goes with a line each collector reaches itself, not with Pool= or "
                  "Mode=incoming");
  if ((s.values.contains("listen") || s.values.contains("id")) && l.mode != LineMode::Incoming)
    c.Problem(s.line, "[Line " + s.name + "]: Listen= and Id= go with Mode=incoming");
  auto need = [&](const char* key, const char* what) {
    if (!s.values.contains(key)) c.Problem(s.line, "[Line " + s.name + "]: " + what);
  };
  TcpLine tcp;
  SerialLine serial;
  if (l.mode == LineMode::Incoming) {
    need("listen", "Mode=incoming needs Listen=NAME");
    need("id", "Mode=incoming needs Id=");
  } else if (l.mode == LineMode::Tcp) {
    need("tcp", "Mode=tcp needs Tcp=HOST:PORT");
    const auto hp = c.Take<std::optional<std::pair<std::string, int>>>(
        s, "tcp", std::nullopt,
        [](const std::string& v) -> std::optional<std::optional<std::pair<std::string, int>>> {
          const auto at = ParseHostPort(v);
          // The carrier takes a dotted address (an IPv4 address or a dotted name).
          if (!at || at->host.find('.') == std::string::npos) return std::nullopt;
          return std::optional(std::pair(at->host, at->port));
        },
        "HOST:PORT with a dotted host (e.g. 127.0.0.1:4001) and a port 1..65535");
    if (hp) {
      tcp.host = hp->first;
      tcp.port = static_cast<std::uint16_t>(hp->second);
    }
  } else if (l.pool.empty()) {
    const char* key = l.mode == LineMode::Serial ? "serial" : "modem";
    need(key, l.mode == LineMode::Serial ? "Mode=serial needs Serial=PATH" : "Mode=modem needs Modem=PATH (or Pool=)");
    serial.portName = c.Take<std::string>(s, key, "", NonEmpty, "a device path");
  }
  if (l.mode == LineMode::Modem) need("phone", "Mode=modem needs Phone=");
  ModemDialJob& dial = spec.dial;
  dial.phoneNo = c.Take<std::string>(s, "phone", "", AnyText, "");
  dial.initString = c.Take<std::string>(s, "init", "", AnyText, "");
  dial.pulse = c.Take<bool>(s, "pulse", false, Bool01, "0 or 1");
  dial.modem = l.mode == LineMode::Modem;
  spec.useMBus = c.Take<bool>(s, "mbus", false, Bool01, "0 or 1");
  spec.baud = static_cast<std::uint32_t>(
      c.Take<long long>(s, "baud", 57600, BaudRate, "one of 2400, 4800, 9600, 57600, 115200"));
  const ConnectionSettings recommended;
  TimingTriple& t = spec.timing;
  // A modem that calls in is as slow as one that is called.
  t = l.mode == LineMode::Serial                                  ? recommended.recSerial
      : l.mode == LineMode::Modem || l.mode == LineMode::Incoming ? recommended.recModem
                                                                  : recommended.recEthernet;
  t.byteTimeout =
      static_cast<std::uint32_t>(c.Take<long long>(s, "byteconst", t.byteTimeout, Range(1, 60000), "1..60000 ms"));
  t.replyTimeout =
      static_cast<std::uint32_t>(c.Take<long long>(s, "packetconst", t.replyTimeout, Range(1, 60000), "1..60000 ms"));
  t.retries = static_cast<std::uint32_t>(c.Take<long long>(s, "packetretry", t.retries, Range(0, 100), "0..100"));
  tcp.connectTimeoutS =
      static_cast<std::uint32_t>(c.Take<long long>(s, "connecttimeout", 5, Range(1, 600), "1..600 s"));
  dial.connectWaitS = static_cast<int>(c.Take<long long>(s, "connectwait", 60, Range(1, 255), "1..255 s"));
  dial.attempts = static_cast<int>(c.Take<long long>(s, "reconnects", 3, Range(0, 255), "0..255"));
  serial.baud = spec.baud;
  serial.evenParity = spec.useMBus;
  if (l.mode == LineMode::Tcp) spec.target = tcp;
  else spec.target = serial;
}

// A file that is not UTF-8 (saved as Windows-1251, say) is refused whole at
// its first such line: its names would reach the log, the store, the page
// and MQTT as bytes no one can read.
std::optional<ConfigProblem> EncodingProblem(const std::filesystem::path& file, std::string_view text) {
  const std::string name = file.filename().string();
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    return ConfigProblem{1, "the file is UTF-16 text: save " + name + " as UTF-8 (e.g. iconv -f UTF-16 -t UTF-8)"};
  std::size_t bad = FirstNonUtf8(text);
  if (bad == std::string_view::npos) return std::nullopt;
  const int line =
      1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
  int more = 0;
  for (std::size_t nl = text.find('\n', bad); nl != std::string_view::npos; nl = text.find('\n', bad)) {
    bad = FirstNonUtf8(text.substr(nl + 1));
    if (bad == std::string_view::npos) break;
    bad += nl + 1;
    ++more;
  }
  return ConfigProblem{line, "not UTF-8 text" + (more > 0 ? " (nor are " + std::to_string(more) + " more lines)" : "") +
                                 ": the file seems saved in another encoding, such as Windows-1251; save " + name +
                                 " as UTF-8 (in Notepad: Save as, Encoding UTF-8; or iconv -f CP1251 -t UTF-8 " + name +
                                 " > " + name + ".new and rename it)"};
}

}  // namespace

const LineConfig* Config::Line(const std::string& name) const {
  for (const auto& l : lines)
    if (Lower(l.name) == Lower(name)) return &l;
  return nullptr;
}

const ModemPoolConfig* Config::Pool(const std::string& name) const {
  for (const auto& p : pools)
    if (Lower(p.name) == Lower(name)) return &p;
  return nullptr;
}

const ListenConfig* Config::Listener(const std::string& name) const {
  for (const auto& l : listens)
    if (Lower(l.name) == Lower(name)) return &l;
  return nullptr;
}

std::optional<long long> ParseDuration(std::string_view t, bool zeroOk) {
  if (t.empty()) return {};
  long long unit = 1;
  switch (t.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: unit = 0;
  }
  if (unit != 0) t.remove_suffix(1);
  else unit = 1;
  const auto n = Integer(t, zeroOk ? 0 : 1, 366LL * 86400);
  if (!n) return {};
  return *n * unit;
}

std::optional<TimeWindow> ParseWindow(std::string_view t) {
  auto hm = [](std::string_view s) -> std::optional<int> {
    if (s.size() != 5 || s[2] != ':') return {};
    const auto h = Integer(s.substr(0, 2), 0, 23), m = Integer(s.substr(3, 2), 0, 59);
    if (!h || !m) return {};
    return static_cast<int>(*h * 60 + *m);
  };
  const auto dash = t.find('-');
  if (dash == std::string_view::npos) return {};
  const auto a = hm(t.substr(0, dash)), b = hm(t.substr(dash + 1));
  if (!a || !b || *a == *b) return {};
  return TimeWindow{*a, *b};
}

std::optional<Kinds> ParseKinds(std::string_view t) {
  Kinds k{false, false, false, false};
  std::size_t pos = 0;
  while (pos <= t.size()) {
    auto comma = t.find(',', pos);
    if (comma == std::string_view::npos) comma = t.size();
    std::string_view w = t.substr(pos, comma - pos);
    while (!w.empty() && w.front() == ' ') w.remove_prefix(1);
    while (!w.empty() && w.back() == ' ') w.remove_suffix(1);
    const std::string l = Lower(w);
    if (l == "hourly") k.hourly = true;
    else if (l == "daily") k.daily = true;
    else if (l == "monthly") k.monthly = true;
    else if (l == "events") k.events = true;
    else return {};
    pos = comma + 1;
  }
  if (!k.hourly && !k.daily && !k.monthly && !k.events) return {};
  return k;
}

std::string ConfigResult::Text(const std::filesystem::path& file) const {
  std::string s;
  for (const auto& p : problems)
    s += file.string() + (p.line > 0 ? ":" + std::to_string(p.line) : std::string()) + ": " + p.reason + "\n";
  return s;
}

ConfigResult LoadConfig(const std::filesystem::path& file) {
  // The type is looked at before the file is opened: a FIFO would block the
  // open, a device (/dev/zero) would never end.
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec) return {std::nullopt, {{0, "the file cannot be read: " + ec.message()}}};
  if (std::filesystem::is_directory(status)) return {std::nullopt, {{0, "a directory, not a configuration file"}}};
  if (!std::filesystem::is_regular_file(status))
    return {std::nullopt, {{0, "not a regular file (a device, a FIFO or a socket): give collect.ini itself"}}};
  std::ifstream in(file, std::ios::binary);
  if (!in) return {std::nullopt, {{0, "the file cannot be read"}}};
  std::string text(kMaxConfigBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxConfigBytes)
    return {std::nullopt, {{0, "over " + std::to_string(kMaxConfigBytes / 1024) + " KiB: not a collect.ini"}}};
  return ParseConfig(file, text);
}

namespace {

// A value without its comment: a ';' after a blank starts one, as in the
// examples of docs/collect.md ("Every=1h   ; hourly"), so a value cannot
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

// The sections of the file with their keys, each key checked against its kind of section.
std::vector<Section> ReadSections(const IniFile& ini, Checker& c) {
  std::vector<Section> sections;
  std::set<std::string> seen;
  for (const auto& e : ini.Entries()) {
    if (e.malformed) {
      c.Problem(e.line, "not a [section], KEY=VALUE or ;comment line");
      continue;
    }
    if (e.key.empty()) {
      Section s;
      s.line = e.line;
      const auto blank = e.section.find(' ');
      s.kind = Lower(e.section.substr(0, blank));
      s.name = blank == std::string::npos ? std::string() : e.section.substr(e.section.find_first_not_of(' ', blank));
      const bool named = s.kind == "line" || s.kind == "instrument" || s.kind == "modems" || s.kind == "listen";
      if (s.kind == "collector" ? !s.name.empty() : !named || s.name.empty())
        c.Problem(e.line,
                  "[" + e.section +
                      "]: sections are [Collector], [Line NAME], [Instrument NAME], [Modems NAME] and [Listen NAME]");
      else if (!seen.insert(Lower(e.section)).second) c.Problem(e.line, "[" + e.section + "] appears twice");
      sections.push_back(std::move(s));
      continue;
    }
    if (sections.empty()) {
      c.Problem(e.line, e.key + ": a key outside a section");
      continue;
    }
    Section& s = sections.back();
    const std::string k = Lower(e.key);
    const auto& known = s.kind == "collector" ? kCollectorKeys
                        : s.kind == "line"    ? kLineKeys
                        : s.kind == "modems"  ? kModemsKeys
                        : s.kind == "listen"  ? kListenKeys
                                              : kInstrumentKeys;
    if (!known.contains(k)) c.Problem(e.line, e.key + ": unknown key in [" + e.section + "]");
    else if (!s.values.emplace(k, std::pair(WithoutComment(e.value), e.line)).second)
      c.Problem(e.line, e.key + " given twice");
  }
  return sections;
}

std::optional<KeepFiles> KeepFilesOf(const std::string& v) {
  const std::string l = Lower(v);
  if (l == "newest") return KeepFiles::Newest;
  if (l == "all") return KeepFiles::All;
  if (l == "none") return KeepFiles::None;
  return std::nullopt;
}

void FillCollector(Checker& c, const Section& s, CollectorConfig& col) {
  col.database = c.Take<std::string>(s, "database", col.database, NonEmpty, "a file path or postgresql://...");
  col.clockLimitS = c.Take<long long>(
      s, "clocklimit", col.clockLimitS, [](const std::string& v) { return ParseDuration(v, true); },
      "a duration such as 300, 5m, 1h");
  col.silentAfter = static_cast<int>(c.Take<long long>(s, "silentafter", col.silentAfter, Range(1, 1000), "1..1000"));
  col.retryFirstS = c.Take<long long>(
      s, "retryfirst", col.retryFirstS, [](const std::string& v) { return ParseDuration(v); }, "a duration above 0");
  col.completenessDays =
      static_cast<int>(c.Take<long long>(s, "completeness", col.completenessDays, Range(1, 366), "1..366 days"));
  col.origin = c.Take<std::string>(s, "origin", "", AnyText, "");
  col.keepFiles = c.Take<KeepFiles>(s, "keepfiles", col.keepFiles, KeepFilesOf, "newest, all or none");
  col.logDays = static_cast<int>(c.Take<long long>(s, "logdays", col.logDays, Range(1, 36500), "1..36500 days"));
  col.http = c.Take<std::string>(
      s, "http", "",
      [](const std::string& v) { return ParseHostPort(v, kHttpAddress) ? std::optional(v) : std::nullopt; },
      "HOST:PORT, e.g. 127.0.0.1:8080");
  if (const auto it = s.values.find("http"); it != s.values.end()) col.httpLine = it->second.second;
  col.httpTokens = c.Take<std::string>(s, "httptokens", col.httpTokens, NonEmpty, "a file path");
  col.httpCert = c.Take<std::string>(s, "httpcert", "", NonEmpty, "a PEM certificate file");
  col.httpKey = c.Take<std::string>(s, "httpkey", "", NonEmpty, "a PEM private key file");
  col.httpInsecure = c.Take<long long>(s, "httpinsecure", 0, Range(0, 1), "0 or 1") == 1;
  if (col.httpCert.empty() != col.httpKey.empty())
    c.Problem(s.values.contains("httpcert") ? s.values.at("httpcert").second : s.values.at("httpkey").second,
              "HttpCert= and HttpKey= go together (the certificate and its private key)");
  col.alertWebhook = c.Take<std::string>(
      s, "alertwebhook", "",
      [](const std::string& v) {
        return v.starts_with("http://") || v.starts_with("https://") ? std::optional(v) : std::nullopt;
      },
      "an http:// or https:// URL");
  col.alertCommand = c.Take<std::string>(s, "alertcommand", "", NonEmpty, "a program to run");
  col.alertEveryS = c.Take<long long>(
      s, "alertevery", col.alertEveryS, [](const std::string& v) { return ParseDuration(v); }, "a duration above 0");
  col.alertCommandTimeoutS = c.Take<long long>(
      s, "alertcommandtimeout", col.alertCommandTimeoutS, [](const std::string& v) { return ParseDuration(v); },
      "a duration above 0");
  col.leaseTtlS = c.Take<long long>(
      s, "leasettl", col.leaseTtlS,
      [](const std::string& v) {
        const auto d = ParseDuration(v);
        return d && *d >= 5 && *d <= 3600 ? d : std::nullopt;
      },
      "a duration from 5s to 1h");
  col.workers = static_cast<int>(c.Take<long long>(s, "workers", col.workers, Range(1, 1024), "1..1024"));
  auto mqtt = ParseMqttSettings([&](std::string_view key) -> std::optional<std::string> {
    const auto it = s.values.find(Lower(std::string(key)));
    return it == s.values.end() ? std::nullopt : std::optional<std::string>(it->second.first);
  });
  if (mqtt) col.mqtt = std::move(*mqtt);
  else c.Problem(s.values.contains("mqtt") ? s.values.at("mqtt").second : s.line, mqtt.error().reason);
}

std::optional<long long> Pause(const std::string& v) { return ParseDuration(v, true); }

ModemPoolConfig FillPool(Checker& c, const Section& s) {
  ModemPoolConfig p;
  p.name = s.name;
  p.line = s.line;
  if (!s.values.contains("devices")) c.Problem(s.line, "[Modems " + s.name + "]: Devices= missing");
  const std::string devices = c.Take<std::string>(s, "devices", "", NonEmpty, "device paths, comma-separated");
  for (std::size_t from = 0; from < devices.size();) {
    std::size_t comma = std::min(devices.find(',', from), devices.size());
    std::string d = devices.substr(from, comma - from);
    d.erase(0, d.find_first_not_of(' '));
    d.erase(d.find_last_not_of(' ') + 1);
    if (!d.empty()) p.devices.push_back(d);
    from = comma + 1;
  }
  if (s.values.contains("devices") && p.devices.empty())
    c.Problem(s.values.at("devices").second, "Devices=: at least one device path");
  p.baud = static_cast<std::uint32_t>(
      c.Take<long long>(s, "baud", p.baud, BaudRate, "one of 2400, 4800, 9600, 57600, 115200"));
  p.init = c.Take<std::string>(s, "init", "", AnyText, "");
  p.pulse = c.Take<bool>(s, "pulse", false, Bool01, "0 or 1");
  p.connectWaitS = static_cast<int>(c.Take<long long>(s, "connectwait", 60, Range(1, 255), "1..255 s"));
  p.retryBusyS = c.Take<long long>(s, "retrybusy", p.retryBusyS, Pause, "a duration such as 90s, 2m");
  p.retryNoAnswerS = c.Take<long long>(s, "retrynoanswer", p.retryNoAnswerS, Pause, "a duration such as 15m");
  p.retryNoCarrierS = c.Take<long long>(s, "retrynocarrier", p.retryNoCarrierS, Pause, "a duration such as 5m");
  p.dialsPerPass = static_cast<int>(c.Take<long long>(s, "dialsperpass", 3, Range(1, 100), "1..100"));
  return p;
}

ListenConfig FillListen(Checker& c, const Section& s) {
  ListenConfig l;
  l.name = s.name;
  l.line = s.line;
  if (!s.values.contains("listen")) c.Problem(s.line, "[Listen " + s.name + "]: Listen=HOST:PORT missing");
  const auto at = c.Take<std::optional<HostPort>>(
      s, "listen", std::nullopt,
      [](const std::string& v) -> std::optional<std::optional<HostPort>> {
        auto hp = ParseHostPort(v);
        if (!hp) return std::nullopt;
        return std::optional(*hp);
      },
      "HOST:PORT, e.g. 0.0.0.0:5000");
  if (at) l.host = at->host, l.port = at->port;
  return l;
}

// `addresses` holds the (line, address) pairs taken so far.
InstrumentConfig FillInstrument(Checker& c, const Section& s, const Config& cfg,
                                std::set<std::pair<std::string, std::uint32_t>>& addresses) {
  InstrumentConfig in;
  in.name = s.name;
  in.lineNo = s.line;
  in.line = c.Take<std::string>(s, "line", "", NonEmpty, "the name of a [Line NAME]");
  const LineConfig* line = cfg.Line(in.line);
  if (!s.values.contains("line")) c.Problem(s.line, "[Instrument " + s.name + "]: Line= missing");
  else if (!line && !in.line.empty())
    c.Problem(s.values.at("line").second, "Line=" + in.line + ": no [Line " + in.line + "] in the file");
  const bool mbus = line && line->spec.useMBus;
  in.address = static_cast<std::uint32_t>(c.Take<long long>(s, "address", 1, Range(0, mbus ? 0xFFFFFFFFLL : 255),
                                                            mbus ? "0..4294967295" : "0..255 (M-Bus: MBus=1)"));
  if (line && !addresses.insert({Lower(in.line), in.address}).second)
    c.Problem(s.values.contains("address") ? s.values.at("address").second : s.line,
              "Address=" + std::to_string(in.address) + ": another instrument has it on line " + in.line);
  in.everyS = c.Take<long long>(
      s, "every", in.everyS, [](const std::string& v) { return ParseDuration(v); }, "a duration such as 1h, 1d, 30m");
  in.offsetS = c.Take<long long>(
      s, "offset", 0, [](const std::string& v) { return ParseDuration(v, true); }, "a duration such as 0, 5m, 2h");
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
      "a list of hourly, daily, monthly, events");
  return in;
}

}  // namespace

ConfigResult ParseConfig(const std::filesystem::path& file, std::string_view text) {
  if (auto problem = EncodingProblem(file, text)) return {std::nullopt, {std::move(*problem)}};
  Checker c;
  const std::vector<Section> sections = ReadSections(IniFile::FromText(file, text), c);
  if (sections.empty() && c.problems.empty())
    return {std::nullopt,
            {{0,
              "no section: the file is empty or holds only blank lines and comments "
              "(collect.ini needs [Line NAME] and [Instrument NAME] sections)"}}};
  Config cfg;
  cfg.file = file;
  for (const Section& s : sections) {
    if (s.kind == "modems") cfg.pools.push_back(FillPool(c, s));
    if (s.kind == "listen") cfg.listens.push_back(FillListen(c, s));
  }
  for (const Section& s : sections) {
    if (s.kind == "collector") {
      FillCollector(c, s, cfg.collector);
    } else if (s.kind == "line") {
      LineConfig l;
      l.name = s.name;
      l.line = s.line;
      FillLine(c, s, l);
      if (!l.pool.empty() && !cfg.Pool(l.pool))
        c.Problem(s.values.at("pool").second, "Pool=" + l.pool + ": no [Modems " + l.pool + "] in the file");
      if (!l.listen.empty() && !cfg.Listener(l.listen))
        c.Problem(s.values.at("listen").second, "Listen=" + l.listen + ": no [Listen " + l.listen + "] in the file");
      for (const auto& other : cfg.lines)
        if (!l.id.empty() && other.id == l.id && Lower(other.listen) == Lower(l.listen))
          c.Problem(s.values.at("id").second, "Id=" + l.id + ": line " + other.name + " has it too");
      cfg.lines.push_back(std::move(l));
    }
  }
  // A shared line's lease lives in a database the collectors share: a
  // SQLite file serves one collector.
  const std::string& db = cfg.collector.database;
  if (!db.starts_with("postgresql://") && !db.starts_with("postgres://"))
    for (const auto& l : cfg.lines)
      if (l.shared)
        c.Problem(l.line, "[Line " + l.name +
                              "]: Shared=1 needs Database=postgresql://... (the collectors sharing "
                              "the line keep its lease there; a SQLite file serves one collector)");
  std::set<std::pair<std::string, std::uint32_t>> addresses;
  for (const Section& s : sections)
    if (s.kind == "instrument") cfg.instruments.push_back(FillInstrument(c, s, cfg, addresses));
  std::stable_sort(c.problems.begin(), c.problems.end(),
                   [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
  if (!c.problems.empty()) return {std::nullopt, std::move(c.problems)};
  return {std::move(cfg), {}};
}

}  // namespace statvtk::collect
