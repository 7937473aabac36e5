// One collection of the instruments due on one line: the read rows opened
// (each read's base: the instrument's newest image in the store), the line
// read through the engine's one entry, then each instrument's statistics
// file (KeepFiles=) and its product (header, the records fetched, events,
// checks, read row) written in one transaction. A fault of any step (thrown
// or returned) finishes the read rows as failed with the reason.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "collect/run/line_reader.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

struct InstrumentPass {
  std::string name;
  std::string serial;
  ReadOutcome outcome = ReadOutcome::Failed;
  std::string error;
  std::int64_t requests = 0, added = 0, conflicts = 0, recovered = 0, lost = 0;
  store::ReadMode mode = store::ReadMode::New;
  bool stored = true;            // false: the store took nothing of the read (its counts are 0)
  std::int64_t repeated = 0;     // periods the instrument closed twice (its clock set back)
  std::int64_t notRecorded = 0;  // holes the instrument never recorded (it was off)
  bool leaseLost = false;        // a shared line's lease was another's at the store: nothing stored
};

// A shared line's lease as its reads' transactions check it: renewed first
// in each, and the read rolled back when the lease is no longer this one.
struct LeaseFence {
  std::string origin;
  std::int64_t epoch = 0;
  std::int64_t ttlS = 60;
};

// Log lines: stamped and written by the caller (stderr or the journal, logs/).
using PassLog = LogTo;

std::vector<InstrumentPass> CollectLine(const Config& config, const LineConfig& line,
                                        const std::vector<const InstrumentConfig*>& due,
                                        const std::filesystem::path& home, StoreWriter& writer, std::atomic<bool>& stop,
                                        const PassLog& log, const LineHooks& hooks = {},
                                        const LeaseFence* fence = nullptr);

// The one-line summary of a read in the log.
std::string PassText(const InstrumentPass& p);

}  // namespace statvtk::collect
