// What the status page, the REST API, /metrics and the alerts read besides
// the store: the running collector's own figures (per line counters, each
// instrument's interval and next due time), given as callbacks so that the
// outputs (http/, mqtt/, alerts/) never reach into the scheduler (run/, dial/).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "collect/fleet/modem_figures.hpp"

namespace statvtk::collect {

// Counters of one line since the collector started.
struct LineFigures {
  std::string line;
  std::int64_t readsDone = 0, readsFailed = 0;
  std::int64_t exchanges = 0, failedExchanges = 0;
};

struct FleetLive {
  // The clock (tests set their own); empty: the system clock.
  std::function<std::chrono::system_clock::time_point()> now;
  // The instruments' hour now "YYYY-MM-DD HH:00" (the PC's local time); empty: from `now`.
  std::function<std::string()> nowPeriod;
  // An instrument's read interval by its name in collect.ini; empty or nullopt: one hour.
  std::function<std::optional<std::int64_t>(const std::string& name)> everySeconds;
  // When the instrument is read next (UTC text) after its last good read
  // (UTC text, empty: never); empty: unknown (another collector's).
  std::function<std::string(const std::string& name, const std::string& lastGoodUtc)> nextDueUtc;
  std::function<std::vector<LineFigures>()> lines;
  // The instruments of collect.ini: one that never answered has no row in
  // the store and is listed from its reads.
  struct Configured {
    std::string name, line;
    std::int64_t address = 0;
  };
  std::function<std::vector<Configured>()> configured;
  // The lines whose every instrument failed its latest read, line -> the
  // latest reason (the alerts); empty: none known.
  std::function<std::map<std::string, std::string>()> linesDown;
  // Log lines that could not be written to the log file; empty: none counted.
  std::function<std::uint64_t()> logWriteFailures;
  // MQTT record messages dropped past MqttOutboxMax= since the start; empty: MQTT off.
  std::function<std::int64_t()> mqttDropped;
  // Whether the MQTT broker is connected now; empty: MQTT off.
  std::function<bool()> brokerUp;
  // The collector whose outbox /metrics counts (Origin=); empty: MQTT off.
  std::string outboxOrigin;
  // Acknowledges an open finding by its id, in the name of `by`: true when
  // it was open; empty: nobody may (no writer, or `status`).
  std::function<Result<bool>(std::int64_t id, const std::string& by)> ackFinding;
  // Acknowledges a situation by its id: false when there is none; empty: nobody may.
  std::function<Result<bool>(std::int64_t id, const std::string& by)> ackSituation;
  // The pools' modems; empty: no pool.
  std::function<std::vector<ModemFigure>()> modems;
  // An incoming line's connection: "подключён с …" or "ждёт подключения
  // модема"; empty text (or no callback): not an incoming line.
  std::function<std::string(const std::string& line)> incoming;
  int silentAfter = 3;          // SilentAfter=: failed reads in a row that make an instrument silent
  std::int64_t leaseTtlS = 60;  // LeaseTtl=: a collector seen within twice this is alive
  int completenessDays = 7;     // Completeness=: the days of the completeness figures
};

}  // namespace statvtk::collect
