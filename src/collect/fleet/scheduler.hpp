// The one scheduler of every kind of line (a line pool's line, a modem
// pool's site, a modem that calls in): when an instrument is due, when it is
// due again after a read, where a restart resumes it from the store, and its
// last good read there, keyed by its line's own name.
#pragma once

#include <ctime>
#include <optional>
#include <vector>

#include "collect/config/collect_config.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// One instrument's turn on its line.
struct Due {
  const InstrumentConfig* in = nullptr;
  std::time_t at = 0;                   // when it is read next
  int failures = 0;                     // failed reads in a row since its last good one
  std::optional<std::time_t> lastGood;  // the end of its last good read; none: never read
};

// How a read of the instrument ended, as far as its schedule goes.
enum class ReadEnd { Good, Failed, Stopped };

// Whether it is read at `now`: its time has come and its window, if it has
// one, is open. One whose window closed while it waited is moved to the
// window's next opening (its failures kept) and is not due.
bool TakeDue(Due& d, std::time_t now);

// After a read that ended at `after`: good, the next period; failed, the
// retry pause of its failures in a row (counted here), inside its window;
// stopped, unchanged.
void AfterRead(const CollectorConfig& c, Due& d, ReadEnd end, std::time_t after);

// What the store holds of the instrument's reads.
struct StoredReads {
  std::optional<std::time_t> lastGood;
  int failuresInRow = 0;
  std::optional<std::time_t> lastFailure;
};

// When a collector that starts at `now` first reads it, never in the past:
// after failures, the retry pause from the last failed read; else as its
// schedule says from the last good read.
std::time_t ResumeAt(const CollectorConfig& c, const InstrumentConfig& in, const StoredReads& r, std::time_t now);

// The name of the line the instrument is on as its [Line NAME] spells it
// (Line= may spell it in another case): the key of its reads in the store.
std::string OwnLine(const Config& cfg, const InstrumentConfig& in);

// The instrument's last good read in the store: its reads on its own line,
// at this collector (a shared line's: at any). None: none held, or the
// store did not answer (the instrument is then due at once).
std::optional<store::ReadRow> LastGood(store::RecordStore& s, const Config& cfg, const InstrumentConfig& in);

// The turns of `list` after a (re)start at `now`, from the store: each
// instrument's last good read and its failures since (in one statement).
std::vector<Due> Resume(store::RecordStore& s, const Config& cfg, const std::vector<const InstrumentConfig*>& list,
                        std::time_t now);

}  // namespace statvtk::collect
