// The collector's one door to the reading engine: the instruments due on a
// line read by ReadLine, each with its own plan. The engine's events become
// the collector's log lines here (one event a line, in this system's words),
// and each statistics read's file is written after it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collect/fleet/log_fields.hpp"
#include "front/download_file.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::collect {

// What one instrument's read fetches.
enum class DueKind {
  Full,  // every record of the archives asked
  New,   // what is new since `base` (full without one), and the slots of
         // `base` no read saw
};

struct DuePlan {
  std::uint32_t address = 1;
  DueKind kind = DueKind::New;
  bool hourly = true, daily = true, monthly = true, events = true;
  std::optional<StatData> base;                // the instrument's newest image from the store
  std::array<std::vector<bool>, 3> baseKnown;  // the slots of `base` a read saw (by ArchiveKind)
  LogFields fields;                            // what its lines in the log carry (instrument, serial)
};

// One instrument's read as the collector keeps it.
struct InstrumentRead {
  ReadResult result;  // the engine's: outcome, cause, data (after a failure: what came before it)
  std::string error;  // why it failed or stopped, one line in the collector's words (empty: done)
  std::chrono::system_clock::time_point started, ended;
  bool Done() const { return result.outcome == ReadOutcome::Done; }
};

// Log lines of the engine, stamped by the caller; each read's lines carry
// its instrument's fields (DuePlan::fields).
using LineLog = LogTo;

// What a caller adds to a line's read: a second listener to its events (the
// modem pool's call log) and the engine's hooks (a connection already made).
struct LineHooks {
  ReadEvents* tap = nullptr;
  RunHooks run;
};

// Reads every instrument of `due`, in order, on the line opened once; one
// result per instrument, in the same order, whatever happened. `stop` is the
// run's stop: every wait of the read looks at it.
std::vector<InstrumentRead> ReadDue(const LineSpec& line, std::span<const DuePlan> due,
                                    const std::filesystem::path& home, std::atomic<bool>& stop, const LineLog& log,
                                    const LineHooks& hooks = {});

// Which instruments answer on a line: the identification request only, to
// each address at each speed (`bauds` empty: the line's own).
struct LineScan {
  std::vector<ScanFound> found;  // in the order they answered
  bool stopped = false;
  std::string error;  // the line could not be opened
};
LineScan ScanLine(const LineSpec& line, std::span<const std::uint32_t> addresses, std::span<const std::uint32_t> bauds,
                  const LineLog& log, std::atomic<bool>& stop);

}  // namespace statvtk::collect
