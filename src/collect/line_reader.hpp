// The collector's one door to the reading engine: the instruments due on one
// line read on one open line, each with its own plan, each with its own
// outcome, file, exchanges and data.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/settings.hpp"
#include "reading/scan_observer.hpp"
#include "stats/stat_image.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::collect {

// What one instrument's read fetches.
enum class PlanKind {
  Full,            // every record of the archives asked
  NewSinceNewest,  // what is new since the newest file of its serial in Data/ (full without one)
  Wanted           // the periods below (still read as NewSinceNewest, which covers them)
};

// The records a read is asked to bring back, per archive (hourly, daily,
// monthly), as period texts. The engine's explicit record-set plan takes
// them; until then a new-records read fetches everything after the base
// file, which holds them when the instrument still has them.
struct WantedPeriods {
  std::array<std::vector<std::string>, 3> periods;
  bool Empty() const { return periods[0].empty() && periods[1].empty() && periods[2].empty(); }
};

struct InstrumentPlan {
  std::uint32_t address = 1;
  PlanKind kind = PlanKind::NewSinceNewest;
  bool hourly = true, daily = true, monthly = true, events = true;
  WantedPeriods wanted;
};

struct LineRequest {
  std::string line;             // its name, for the log
  ConnectionSettings settings;  // carrier, timing, M-Bus
  std::filesystem::path home;   // Data/ is where files go and bases come from
  std::vector<InstrumentPlan> instruments;
  // The run's stop (the process-wide request): every wait of the read looks
  // at it; it ends the read in progress and reads nothing more.
  std::atomic<bool>* stop = nullptr;
};

enum class InstrumentOutcome { Done, Failed, Stopped };

struct InstrumentRead {
  std::uint32_t address = 0;
  InstrumentOutcome outcome = InstrumentOutcome::Failed;
  std::string error;             // why it failed, as the log says it
  std::filesystem::path file;    // the statistics file written (empty: none)
  std::int64_t requests = 0;     // exchanges with this instrument (and its share of the line's opening)
  std::optional<StatData> data;  // what was fetched (after a failure: what came before it)
  bool partial = false;          // the data end at a stop or a failure
  std::chrono::system_clock::time_point started, ended;
};

// Log lines of the engine, stamped by the caller.
using LineLog = std::function<void(const std::string& text)>;

// Reads every instrument of the request, in order, on the line; one result
// per instrument, in the same order, whatever happened.
std::vector<InstrumentRead> ReadLine(const LineRequest& request, const LineLog& log);

// Which instruments answer on a line: the identification request only, to
// each address at each speed (`bauds` empty: the line's own).
struct LineScan {
  std::vector<ScanFound> found;  // in the order they answered
  bool stopped = false;
  std::string error;  // the line could not be opened (or the settings are unusable)
};
LineScan ScanLine(const ConnectionSettings& settings, const std::filesystem::path& home,
                  const std::vector<std::uint32_t>& addresses, const std::vector<std::uint32_t>& bauds,
                  const LineLog& log, std::atomic<bool>& stop);

}  // namespace statvtk::collect
