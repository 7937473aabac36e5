// The line threads of `run`, one per line of the configuration: a new
// configuration starts the lines it adds, retires those it removes and
// restarts those it changes; a retired line finishes the read it is in first.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "collect/collect_config.hpp"

namespace statvtk::collect {

// Whether the line has a thread of its own: a pool's lines are dialled by
// the pool's modems, an incoming line waits for its modem.
bool OwnThread(const LineConfig& line);

// The instruments of the line `name` in collect.ini's order.
std::vector<const InstrumentConfig*> InstrumentsOn(const Config& cfg, const std::string& name);

class LineThreads {
 public:
  // Serves `line` of `cfg` over its instruments until the stop request or
  // `retire` (looked at between reads).
  using Serve =
      std::function<void(const Config& cfg, const LineConfig& line,
                         const std::vector<const InstrumentConfig*>& instruments, const std::atomic<bool>& retire)>;
  struct Changes {
    std::vector<std::string> added, changed, removed;
  };

  explicit LineThreads(Serve serve) : serve_(std::move(serve)) {}
  ~LineThreads();  // waits for every thread: the stop request is to be set first
  LineThreads(const LineThreads&) = delete;
  LineThreads& operator=(const LineThreads&) = delete;

  // Runs the lines of `cfg`, each line's thread keeping the configuration it
  // was started with; the lines that changed since the last call.
  Changes Apply(std::shared_ptr<const Config> cfg);

 private:
  struct Running {
    std::shared_ptr<const Config> cfg;
    std::shared_ptr<std::atomic<bool>> retire, done;
    std::jthread thread;
  };
  Running Start(std::shared_ptr<const Config> cfg, const std::string& name, Running previous);

  Serve serve_;
  std::map<std::string, Running> lines_;
  std::vector<Running> retired_;
};

}  // namespace statvtk::collect
