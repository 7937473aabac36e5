// The lines of `run` served by a bounded pool of workers (Workers=): each line
// keeps its instruments' due times; a worker takes a line that has an
// instrument due and is not being read, reads what is due, reschedules it and
// gives the line back. A new configuration adds, changes and retires lines
// here; a retired line finishes the read it is in first.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "collect/fleet/scheduler.hpp"

namespace statvtk::collect {

// Whether the pool reads the line: a modem pool's lines are dialled by the
// pool's modems, an incoming line waits for its modem.
bool PooledLine(const LineConfig& line);

// Whether a line reads the same way under both configurations: its carrier,
// its pool or listener, and its instruments with their schedules (where in
// the file they stand aside). Any kind of line: the pools and the call-in
// listeners restart on a reload by it too.
bool SameLine(const LineConfig& x, const LineConfig& y, const std::vector<const InstrumentConfig*>& left,
              const std::vector<const InstrumentConfig*>& right);

// The instruments of each line (by its [Line NAME]) in collect.ini's order.
std::map<std::string, std::vector<const InstrumentConfig*>> InstrumentsByLine(const Config& cfg);

// Lines with their instruments in collect.ini's order.
using LineInstruments = std::vector<std::pair<const LineConfig*, std::vector<const InstrumentConfig*>>>;

// The lines of `cfg` that `pick` takes, each with its instruments; a line
// without instruments only when `keepEmpty`.
LineInstruments LinesWith(const Config& cfg, const std::function<bool(const LineConfig&)>& pick, bool keepEmpty);

// Whether two such lists read the same lines the same way (SameLine of each).
bool SameLines(const LineInstruments& left, const LineInstruments& right);

// What the workers do with a line they took.
struct LineWork {
  // The line's schedule from the store: at its first read, and each time a
  // shared line's lease is taken again.
  std::function<std::vector<Due>(const Config& cfg, const LineConfig& line,
                                 const std::vector<const InstrumentConfig*>& instruments)>
      schedule;
  // Reads the instruments of `due` that are due now and reschedules them;
  // `stop` is the line's (set when the run stops or its lease is lost),
  // `epoch` its lease (0: an own line). False: the read found the lease lost.
  std::function<bool(const Config& cfg, const LineConfig& line, std::vector<Due>& due, std::atomic<bool>& stop,
                     std::int64_t epoch)>
      read;
};

class LinePool {
 public:
  struct Changes {
    std::vector<std::string> added, changed, removed;
  };

  LinePool(LineWork work, std::atomic<bool>& request) : work_(std::move(work)), request_(request) {}
  ~LinePool();  // Stop() and Join()
  // Every read stops at its next block and no line is taken any more; returns at once.
  void Stop();
  // Waits for the workers (their reads ended): after Stop().
  void Join();
  LinePool(const LinePool&) = delete;
  LinePool& operator=(const LinePool&) = delete;

  // Serves the lines of `cfg` from now on, each keeping the configuration it
  // was added with while it is unchanged (and its schedule); the lines that
  // changed since the last call.
  Changes Apply(std::shared_ptr<const Config> cfg);

  // Shared lines: offered to the workers only while their lease is held.
  std::vector<std::string> SharedLines() const;
  void Hold(const std::string& line, std::int64_t epoch);  // its schedule is read from the store again
  // No more reads of the line; `stopRead`: the read it is in stops at the next block.
  void Drop(const std::string& line, bool stopRead);
  bool Holding(const std::string& line) const;  // false too after a read found the lease lost
  bool Reading(const std::string& line) const;  // a read of it (or of its former self) goes on

 private:
  struct Slot;
  std::shared_ptr<Slot> Next(std::time_t now, std::time_t& wake);
  void Work();

  LineWork work_;
  std::atomic<bool>& request_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  bool closing_ = false;
  std::uint64_t turns_ = 0;  // lines taken so far: among lines due alike, the one taken longest ago goes first
  std::map<std::string, std::shared_ptr<Slot>> lines_;
  std::vector<std::shared_ptr<Slot>> retired_;  // still in a read
  std::vector<std::jthread> workers_;
};

}  // namespace statvtk::collect
