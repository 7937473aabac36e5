// The abnormal situations the collector found in an instrument's records, as
// the store keeps them: one row a situation of a serial (by kind, its first
// hour, its word and its source), raised when first seen, cleared when it
// ended, and acknowledged by an operator. The store's role for them, apart
// from the records: RecordStore derives from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "store/store_roles.hpp"

namespace statvtk::store {

struct SituationRow {
  std::int64_t id = 0;
  std::string serial;
  std::string kind;                     // the analysis's name: "night_flow", "flag", ...
  std::string source;                   // "flags", "events", "rule"
  std::string fromPeriod;               // its first hour, "YYYY-MM-DD HH:00"
  std::optional<std::string> toPeriod;  // its last hour; none while it goes on
  std::int64_t hours = 0;
  std::string detail;                                // the model's word of a flag or an event mark; "" otherwise
  std::string raisedUtc, clearedUtc, ackUtc, ackBy;  // "" when not (yet)
  bool Open() const { return !toPeriod; }
};

// Which situations: every one by default, newest first.
struct SituationQuery {
  bool openOnly = false;
  std::string kind;                  // "": any
  std::string since;                 // a period or a date: those going on at or after it; "": any
  std::string serial;                // "": every instrument
  std::vector<std::string> serials;  // one of these (with anyOfSerials; empty then: none)
  bool anyOfSerials = false;
  bool openFirst = false;   // the open ones first, then by their first hour, newest first
  std::int64_t limit = 0;   // at most this many rows (0: all)
  std::int64_t offset = 0;  // after skipping this many
};

// The most serials a query may name (SituationQuery::serials).
inline constexpr std::size_t kMaxSituationSerials = 16384;

// The open situations (of `serial`; "": of every instrument).
inline SituationQuery OpenSituations(std::string serial = {}) {
  SituationQuery q;
  q.openOnly = true;
  q.serial = std::move(serial);
  return q;
}

// The source of the situations the collector sees itself (the serial that
// answers, the meter's clock, its call-in connections), not in the records:
// PutSituations leaves them to RaiseSituation and ClearSituations.
inline constexpr const char* kCollectorSource = "collector";

// What a refresh changed: the situations raised open, and those it closed.
struct SituationChanges {
  std::vector<SituationRow> opened, closed;
};

class SituationStore : public StoreRole {
 public:
  virtual ~SituationStore() = default;

  // The situations of `serial` an analysis found now (their ids, times and
  // acknowledgements ignored), in one transaction: a new one inserted (once,
  // whoever inserts it first), an open one's end and hours brought up to
  // date, and an open one the analysis no longer finds going on closed at
  // its last hour. `utc`: now ("": the clock now).
  virtual Result<SituationChanges> PutSituations(const std::string& serial, std::span<const SituationRow> found,
                                                 const std::string& utc) = 0;
  // A situation the collector saw itself (source kCollectorSource), its
  // `fromPeriod` the hour it is seen in. An event (with its end) is kept
  // once by its key. An open one is raised once: while an open one of its
  // serial, kind and detail is there, that one's hours only grow up to this
  // hour. Opened: the one it raised open.
  virtual Result<SituationChanges> RaiseSituation(const SituationRow& row, const std::string& utc) = 0;
  // Ends the open situations of `serial` and `kind` from `source` (any
  // detail) at the hour `lastHour`; closed: those it ended.
  virtual Result<SituationChanges> ClearSituations(const std::string& serial, const std::string& kind,
                                                   const std::string& source, const std::string& lastHour,
                                                   const std::string& utc) = 0;
  virtual Result<std::vector<SituationRow>> Situations(const SituationQuery& query) = 0;
  // How many situations the query finds, its limit and offset aside.
  virtual Result<std::int64_t> CountSituations(const SituationQuery& query) = 0;
  // Acknowledges a situation (the first acknowledgement is kept); false when
  // there is no situation with that id.
  virtual Result<bool> AckSituation(std::int64_t id, const std::string& by, const std::string& utc) = 0;
};

}  // namespace statvtk::store
