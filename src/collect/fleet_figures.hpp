// What the running collector knows beyond the store, for the page and
// /metrics: per line counters of reads and exchanges, each instrument's next
// due time and interval. The line threads write, the HTTP server reads.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "collect/collect_config.hpp"
#include "collect/http_fleet.hpp"

namespace statvtk::collect {

class FleetFigures {
 public:
  explicit FleetFigures(const Config& cfg);
  // One read ended on `line`: `done` or failed, with its exchanges.
  void Read(const std::string& line, bool done, std::int64_t exchanges);
  void Due(const std::string& instrument, std::time_t at);
  // Where /metrics finds the log's write failures.
  void CountLogFailures(std::function<std::uint64_t()> failures) { logFailures_ = std::move(failures); }
  // The pools' modems (written by the pools).
  ModemFigures& Modems() { return modems_; }
  // Where the page finds an incoming line's connection.
  void DescribeIncoming(std::function<std::string(const std::string& line)> f) { incoming_ = std::move(f); }
  // Callbacks over this object (which must outlive them).
  FleetLive Live();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, LineFigures> lines_;
  std::map<std::string, std::time_t> due_;
  std::map<std::string, long long> every_;
  std::vector<FleetLive::Configured> configured_;
  CollectorConfig collector_;
  std::function<std::uint64_t()> logFailures_;
  bool pools_ = false;
  ModemFigures modems_;
  std::function<std::string(const std::string& line)> incoming_;
};

}  // namespace statvtk::collect
