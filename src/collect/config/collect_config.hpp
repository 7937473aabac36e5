// collect.ini: the collector, its lines and its instruments, read with the
// program's INI parser and checked whole before anything runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/situations.hpp"
#include "base/error.hpp"
#include "base/host_port.hpp"
#include "collect/config/address_ranges.hpp"
#include "collect/config/mqtt_settings.hpp"
#include "reading/read_job.hpp"

namespace statvtk::collect {

// The statistics files a read leaves in Data/ (KeepFiles=): the newest one
// of each instrument, one per read, or none.
enum class KeepFiles { Newest, All, None };

// Http= of collect.ini: "HOST:PORT", ":PORT" or "PORT" (the host then
// 127.0.0.1); port 0 lets the system choose (the tests).
inline constexpr HostPortRules kHttpAddress{.defaultHost = "127.0.0.1", .defaultPort = 0, .minPort = 0};

struct CollectorConfig {
  std::string database = "collect.sqlite";  // a path (relative: to the home) or a postgresql:// URL
  long long clockLimitS = 300;              // ClockLimit=
  int silentAfter = 3;                      // SilentAfter=: failed reads in a row that mark an instrument silent
  long long retryFirstS = 60;               // RetryFirst=: the first pause after a failure, doubled each time
  int completenessDays = 7;                 // Completeness=
  std::string origin;                       // Origin=: this collector's name (default: the host name)
  std::string http;                         // Http=HOST:PORT of the page and API; empty: off
  int httpLine = 0;                         // where Http= stands in the file
  std::string httpTokens = "http-tokens";   // HttpTokens=: the token file (relative: to the home)
  std::string httpCert, httpKey;            // HttpCert=, HttpKey=: PEM files; both set: HTTPS only
  bool httpInsecure = false;                // HttpInsecure=1: a network address without tokens or TLS
  MqttSettings mqtt;                        // Mqtt=, MqttTopic=, ...; mqtt.host empty: off
  KeepFiles keepFiles = KeepFiles::Newest;  // KeepFiles=
  int logDays = 30;                         // LogDays=: logs/collect-*.log and http-*.log older than this go
  std::string alertWebhook;                 // AlertWebhook=: an http(s) URL the alerts are POSTed to; empty: none
  std::string alertCommand;                 // AlertCommand=: a program given each alert on stdin; empty: none
  long long alertEveryS = 30;               // AlertEvery=: how often the states are looked at
  long long alertCommandTimeoutS = 10;      // AlertCommandTimeout=: AlertCommand= killed after this
  long long leaseTtlS = 60;                 // LeaseTtl=: how long a shared line's lease holds unrenewed (5 s..1 h)
  int workers = 32;                         // Workers=: the reads `run` makes at once (lines served by a pool)
};

enum class LineMode { Tcp, Serial, Modem, Incoming };

struct LineConfig {
  std::string name;
  LineMode mode = LineMode::Tcp;
  LineSpec spec;        // the carrier, its timing, M-Bus and the modem's dialing, ready for a read
  int line = 0;         // where the section starts in the file
  std::string pool;     // Pool=: a modem line dialled by a modem of this [Modems NAME]
  std::string listen;   // Listen=: an incoming line's [Listen NAME]
  std::string id;       // Id=: the line its modem sends first when it connects
  bool shared = false;  // Shared=1: several collectors may read it, one at a time (its lease in the store)
};

// [Modems NAME]: dial-up modems that the sites of the pool's lines share.
struct ModemPoolConfig {
  std::string name;
  std::vector<std::string> devices;  // Devices=
  std::uint32_t baud = 9600;
  std::string init;
  bool pulse = false;
  int connectWaitS = 60;
  long long retryBusyS = 120;       // RetryBusy=: pause before the next dial of a site after BUSY
  long long retryNoAnswerS = 900;   // RetryNoAnswer=
  long long retryNoCarrierS = 300;  // RetryNoCarrier=: also a dropped call or a failed read
  int dialsPerPass = 3;             // DialsPerPass=
  int line = 0;
};

// [Listen NAME]: where modems that call the collector connect.
struct ListenConfig {
  std::string name;
  std::string host;
  int port = 0;
  int line = 0;
  std::vector<AddressRange> allowFrom;  // AllowFrom=: where a modem with a known Id may call from; empty: anywhere
};

// A daily time window "HH:MM-HH:MM" in minutes of the PC's local day (may pass midnight).
struct TimeWindow {
  int from = 0, to = 0;
  bool Contains(int minuteOfDay) const {
    return from <= to ? minuteOfDay >= from && minuteOfDay < to : minuteOfDay >= from || minuteOfDay < to;
  }
  bool operator==(const TimeWindow&) const = default;
};

struct Kinds {
  bool hourly = true, daily = true, monthly = true, events = true;
  bool operator==(const Kinds&) const = default;
};

// ClockDrift= of [Rules] when not given: the meter's clock off the
// collector's by more is the clock_drift situation.
inline constexpr long long kDefaultClockDriftS = 600;

struct InstrumentConfig {
  std::string name;
  std::string line;
  std::uint32_t address = 1;
  long long everyS = 3600;  // Every=
  long long offsetS = 0;    // Offset=: the due times are offset + k * every (local time)
  std::optional<TimeWindow> window;
  Kinds kinds;
  int lineNo = 0;
  std::string rulesName;                        // Rules=: its [Rules NAME]; empty: the defaults of [Rules]
  analysis::Settings rules;                     // the situations' rules for it, resolved
  long long clockDriftS = kDefaultClockDriftS;  // ClockDrift= of its rules: the clock_drift situation past it
};

// [Rules NAME]: overrides of [Rules] (the situations' rules) an instrument chooses by Rules=NAME.
struct RuleSet {
  std::string name;
  analysis::Settings settings;  // [Rules] with this section's keys over it
  int line = 0;
  long long clockDriftS = kDefaultClockDriftS;  // ClockDrift=, [Rules]'s when not given here
};

struct Config {
  std::filesystem::path file;
  CollectorConfig collector;
  std::vector<LineConfig> lines;
  std::vector<InstrumentConfig> instruments;
  std::vector<ModemPoolConfig> pools;
  std::vector<ListenConfig> listens;
  analysis::Settings rules;                     // [Rules]: the situations' rules of every instrument without Rules=
  long long clockDriftS = kDefaultClockDriftS;  // [Rules] ClockDrift=
  std::vector<RuleSet> ruleSets;

  const LineConfig* Line(const std::string& name) const;
  const ModemPoolConfig* Pool(const std::string& name) const;
  const ListenConfig* Listener(const std::string& name) const;
  const RuleSet* Rules(const std::string& name) const;
};

// collect.ini is a few KiB; a file far larger is no configuration.
inline constexpr std::size_t kMaxConfigBytes = 1024 * 1024;

// One refusal: "FILE:LINE: reason" ("FILE: reason" for the file as a whole: line 0).
struct ConfigProblem {
  int line = 0;
  std::string reason;
};

// The whole configuration, or every problem found (nothing half-applied).
struct ConfigResult {
  std::optional<Config> config;
  std::vector<ConfigProblem> problems;
  std::string Text(const std::filesystem::path& file) const;  // one "file:line: reason" per problem
};
ConfigResult LoadConfig(const std::filesystem::path& file);
ConfigResult ParseConfig(const std::filesystem::path& file, std::string_view text);

// "90", "90s", "15m", "1h", "1d" in seconds; empty for another text or a
// value not above 0 (`zeroOk`: 0 allowed).
std::optional<long long> ParseDuration(std::string_view text, bool zeroOk = false);
std::optional<TimeWindow> ParseWindow(std::string_view text);
std::optional<Kinds> ParseKinds(std::string_view text);

}  // namespace statvtk::collect
