// One run's surroundings: where its events go, the run's stop (read by every
// wait of the link, the modem's included) and what tests put between the
// run and the world; the reporting calls every read uses.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "link/tmod07.hpp"
#include "reading/read_events.hpp"

namespace statvtk {

// What tests and benchmarks put between a run and the world.
struct RunHooks {
  Tmod07::ChannelFactory channelFactory;  // empty: the real carriers
  Tmod07::WaitFn waitFunction;            // empty: real waits
  Tmod07::TraceFn trace;                  // every frame exchanged
  std::chrono::milliseconds modemStep{100};
};

class RunContext {
 public:
  RunContext(ReadEvents& events, std::atomic<bool>& stop, const RunHooks& hooks)
      : events(events), stop(stop), hooks(hooks) {}

  ReadEvents& events;
  std::atomic<bool>& stop;  // the run's stop: the link polls it as its abort flag
  const RunHooks& hooks;

  bool StopNow() const { return stop.load(); }
  void Emit(const ReadEvent& e) const { events.On(e); }
  void Show(statvtk::Stage s) const { Emit(event::StageShown{s}); }
  void Progress(int max) const { Emit(event::ProgressMax{max}); }
  void Pos(int pos) const { Emit(event::ProgressPos{pos}); }
  void Detail(std::optional<std::int64_t> value) const { Emit(event::Detail{value}); }
  // The clock of a model's read, started when its model is known.
  void StartClock() { started_ = std::chrono::steady_clock::now(); }
  std::int64_t ElapsedS() const {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_).count();
  }

 private:
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace statvtk
