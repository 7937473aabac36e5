// What the running collector knows beyond the store, for the page and
// /metrics: per line counters of reads and exchanges, each instrument's next
// due time and interval. The line threads write, the HTTP server reads.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "collect/config/collect_config.hpp"
#include "collect/fleet/fleet_live.hpp"
#include "collect/fleet/scheduler.hpp"

namespace statvtk::collect {

class FleetFigures {
 public:
  explicit FleetFigures(const Config& cfg);
  // The lines and instruments of a reloaded collect.ini.
  void Configure(const Config& cfg);
  // One read ended on `line`: `done` or failed, with its exchanges.
  void Read(const std::string& line, bool done, std::int64_t exchanges);
  // An instrument's turn as the scheduler keeps it: its next read, its
  // failures in a row and its last good read.
  void Turn(const Due& d);
  // How the instrument's latest read ended: answered, or failed with `why`
  // (a read, not the store, failed).
  void Answered(const std::string& instrument);
  void Failed(const std::string& instrument, const std::string& why);
  // The lines whose every instrument failed its latest read and is down by
  // the health rule (IsDown), with the latest reason: line -> why.
  std::map<std::string, std::string> LinesDown(std::time_t now) const;
  // Where /metrics finds the log's write failures.
  void CountLogFailures(std::function<std::uint64_t()> failures) { logFailures_ = std::move(failures); }
  // How the API acknowledges a finding (through the collector's writer).
  void SetAck(std::function<Result<bool>(std::int64_t, const std::string&)> ack) { ack_ = std::move(ack); }
  // How the API acknowledges a situation.
  void SetSituationAck(std::function<Result<bool>(std::int64_t, const std::string&)> ack) {
    ackSituation_ = std::move(ack);
  }
  // The pools' modems (written by the pools).
  ModemFigures& Modems() { return modems_; }
  // Where the page finds an incoming line's connection: given before the
  // services that ask start, and what it describes outlives them.
  void DescribeIncoming(std::function<std::string(const std::string& line)> f);
  // Callbacks over this object (which must outlive them).
  FleetLive Live();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, LineFigures> lines_;
  std::map<std::string, Due> turns_;  // by instrument (its `in` not kept: the configuration may go)
  std::map<std::string, long long> every_;
  std::vector<FleetLive::Configured> configured_;
  std::map<std::string, std::string> failing_;  // instrument -> why its latest read failed
  CollectorConfig collector_;
  std::function<std::uint64_t()> logFailures_;
  std::function<Result<bool>(std::int64_t, const std::string&)> ack_;
  std::function<Result<bool>(std::int64_t, const std::string&)> ackSituation_;
  bool pools_ = false;
  ModemFigures modems_;
  std::function<std::string(const std::string& line)> incoming_;  // under mutex_
};

}  // namespace statvtk::collect
