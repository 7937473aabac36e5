// One run's surroundings: the observer it reports to, the run's stop (read
// by every wait of the link, the modem's included), the clock, the program
// home; the reporting calls every read uses.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "link/tmod07.hpp"
#include "reading/read_observer.hpp"

namespace statvtk {

// What tests and benchmarks put between a run and the world.
struct RunHooks {
  Tmod07::ChannelFactory channelFactory;  // empty: the real carriers
  Tmod07::WaitFn waitFunction;            // empty: real waits
  Tmod07::TraceFn trace;                  // every frame exchanged
  std::chrono::milliseconds modemStep{100};
  std::function<std::chrono::system_clock::time_point()> clock;  // for file names; empty: the PC's
};

class RunContext {
 public:
  RunContext(ReadObserver& obs, std::atomic<bool>& stop, const RunHooks& hooks, std::filesystem::path home, bool quiet,
             bool quietStatus)
      : obs(obs), stop(stop), hooks(hooks), home(std::move(home)), quiet(quiet), quietStatus_(quietStatus) {}

  ReadObserver& obs;
  std::atomic<bool>& stop;  // the run's stop: the link polls it as its abort flag
  const RunHooks& hooks;
  const std::filesystem::path home;
  const bool quiet;

  bool StopNow() const { return stop.load(); }
  void Log(const std::string& t) const {
    if (!t.empty()) obs.LogLine(t);
  }
  void Status(const std::string& t) const {
    if (!quietStatus_) obs.ShowStatus(t);
  }
  void Detail(const std::string& t) const { obs.ShowDetail(t); }
  void Progress(int max) const { obs.SetProgressMax(max); }
  void Pos(int pos) const { obs.SetProgressPos(pos); }
  std::chrono::system_clock::time_point Now() const {
    return hooks.clock ? hooks.clock() : std::chrono::system_clock::now();
  }
  // The clock of a model's read, started by its title.
  void StartClock() { started_ = std::chrono::steady_clock::now(); }
  std::string ElapsedTextNow() const;

 private:
  bool quietStatus_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace statvtk
