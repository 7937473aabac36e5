// The pools' modems as the page and /metrics show them: calls by outcome
// and connected seconds since the collector started, today's calls, the
// share of them connected and the minutes online, and whether the modem is
// set aside. The pools write, the HTTP server reads (and makes /metrics of them).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace statvtk::collect {

struct ModemFigure {
  std::string pool, device;
  std::map<std::string, std::int64_t> calls;  // by outcome, since the start
  double connectedSeconds = 0;                // since the start: what the SIM cards are billed for
  std::int64_t callsToday = 0, connectedToday = 0;
  double secondsToday = 0;
  bool setAside = false;
  std::string setAsideWhy;
};

class ModemFigures {
 public:
  void Add(const std::string& pool, const std::string& device);
  void Call(const std::string& pool, const std::string& device, const std::string& outcome, bool connected,
            double seconds, std::chrono::system_clock::time_point at);
  void SetAside(const std::string& pool, const std::string& device, bool aside, const std::string& why = {});
  // After a reload: the modems of pools and devices no longer configured go;
  // a call such a modem still ends is not counted.
  void KeepOnly(const std::vector<std::pair<std::string, std::string>>& poolDevices);
  std::vector<ModemFigure> All() const;

 private:
  ModemFigure* Of(const std::string& pool, const std::string& device);  // null: not added
  mutable std::mutex mutex_;
  std::vector<ModemFigure> modems_;
  int today_ = -1;  // the local day the "today" counts are of
};

}  // namespace statvtk::collect
