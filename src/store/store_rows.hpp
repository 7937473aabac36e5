// The rows of the collector's record store, as it is given them and gives
// them back: instruments, reads, records, conflicts, events, findings, slots,
// header blocks, summaries, calls, outbox messages, collectors and leases.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stats/stat_model.hpp"
#include "store/periods.hpp"

namespace statvtk::store {

// Times the store writes itself (reads, findings, first seen) are UTC texts
// "YYYY-MM-DDTHH:MM:SSZ"; a record's `period` is the instrument's own time
// (PeriodText in store/periods.hpp).

// "hourly", "daily", "monthly"; and back (empty for another text).
std::string_view ArchiveName(ArchiveKind kind);
std::optional<ArchiveKind> ArchiveOfName(std::string_view name);
inline constexpr std::array<ArchiveKind, 3> kArchiveKinds{ArchiveKind::Hourly, ArchiveKind::Daily,
                                                          ArchiveKind::Monthly};

struct InstrumentRow {
  std::string serial;  // as show --json gives it (VTK: "#" for a zero byte)
  std::string model;   // DeviceTypeName
  std::string name;    // the [Instrument NAME] of collect.ini
  std::string line;    // the [Line NAME] it is read on
  std::int64_t address = 0;
  std::string firstSeenUtc;            // kept from the first upsert
  std::string lastReadUtc;             // the last successful read; empty keeps the one stored
  std::optional<std::int64_t> everyS;  // the schedule's interval (Every=); empty keeps the one stored
};

enum class ReadMode { Full, New, Backfill };       // "full", "new", "backfill"
enum class ReadOutcome { Done, Failed, Stopped };  // "done", "failed", "stopped"
std::string_view ReadModeName(ReadMode mode);
std::string_view ReadOutcomeName(ReadOutcome outcome);
std::optional<ReadMode> ReadModeOfName(std::string_view name);
std::optional<ReadOutcome> ReadOutcomeOfName(std::string_view name);

struct ReadStart {
  std::string serial;  // may be empty when the instrument has not answered yet
  std::string name;
  std::string line;
  std::string startedUtc;
  ReadMode mode = ReadMode::New;
};

struct ReadFinish {
  std::string serial;  // the serial the instrument gave (empty: keep the start's)
  std::string endedUtc;
  ReadOutcome outcome = ReadOutcome::Done;
  std::string error;           // the reason, as the log says it; empty when done
  std::int64_t requests = 0;   // exchanges with the instrument
  std::string file;            // the statistics file written (empty: none)
  std::int64_t recovered = 0;  // gap periods the read brought back
  std::int64_t lost = 0;       // gap periods no longer in the instrument's archive
  std::int64_t added = 0;      // records new to the store
  std::int64_t conflicts = 0;  // records whose bytes differ from the stored ones
};

// One row of `reads`; `outcome` is empty while the read runs (or when the
// process died during it).
struct ReadRow {
  std::int64_t id = 0;
  std::string serial, name, line, startedUtc, endedUtc;
  ReadMode mode = ReadMode::New;
  std::optional<ReadOutcome> outcome;
  std::string error;
  std::int64_t requests = 0;
  std::string file;
  std::int64_t recovered = 0, lost = 0, added = 0, conflicts = 0;
  std::string origin;  // the collector that made it (StoreOptions::origin; '' where not known)
};

struct ReadQuery {
  std::string serial;  // empty: every instrument
  std::string name;    // empty: any
  std::size_t limit = 100;
  bool goodOnly = false;  // only outcome done
  std::string line = {};  // empty: any
  // Only the reads of this collector (and those of a store older than the
  // origin column, whose collector is not known); nullopt: any.
  std::optional<std::string> origin = std::nullopt;
};

// One archive record as stored. The values are the ones show --json gives.
struct RecordRow {
  std::string serial;
  ArchiveKind archive = ArchiveKind::Hourly;
  std::string period;  // "YYYY-MM-DD HH:00", "YYYY-MM-DD", "YYYY-MM"
  double forwardTotal = 0, reverseTotal = 0;
  std::optional<double> forwardIncrement, reverseIncrement;  // empty: unknown (NULL)
  std::int64_t flags = 0;
  bool valid = true;   // always: a slot that is no period of the meter is no record
  std::string fields;  // JSON object: the model's other named values
  std::int64_t readId = 0;
  std::int64_t utcOffsetS = 0;  // the PC's offset from UTC at the read
  std::string raw;              // the record's bytes as lower-case hex
  bool badDate = false;         // the period is no calendar date ("2024-02-31"): set by the store
};

// What became of a record given to the store: Added (its key was new); Same
// (stored with the same bytes); Conflict (stored with other bytes: kept in
// the conflicts, the stored one untouched, found now); KnownConflict (that
// differing record was kept by an earlier read, which counted it).
enum class Upsert { Added, Same, Conflict, KnownConflict };

struct RecordQuery {
  std::string serial;
  ArchiveKind archive = ArchiveKind::Hourly;
  std::string from, to;   // inclusive period texts; empty: open
  std::size_t limit = 0;  // 0: all
};

// A record read again under a stored key with other bytes: kept here, the
// stored record left as it was.
struct ConflictRow {
  std::int64_t id = 0;
  RecordRow record;  // the differing record (its readId: the read that brought it)
  std::string storedRaw;
  std::string foundUtc;
};

struct EventRow {
  std::string serial;
  std::string time;  // the instrument's time "YYYY-MM-DD HH:MM:SS"
  std::int64_t code = 0;
  std::string text;
  std::int64_t readId = 0;
};

// StoreDown and OutboxOverflow are the collector's own (serial empty): the
// store did not answer for a while, MQTT messages were dropped past the bound.
// RepeatedHour: the instrument closed one period twice with other values
// (its clock was set back over it); the first is kept, the second is a conflict.
// ModemSetAside: a modem of a pool could not be opened or stopped answering.
// ImplausibleSlot: slots of an archive that hold no period of the meter (a
// failed checksum, a date the calendar has not, a date after the meter's
// clock): `period` names the slots ("slot 0012" or "slot 0012-0140").
enum class FindingKind {
  TotalDown,
  IncrementMismatch,
  ClockOff,
  Conflict,
  StoreDown,
  OutboxOverflow,
  RepeatedHour,
  ModemSetAside,
  ImplausibleSlot
};
// "total_down", "increment_mismatch", "clock_off", "conflict", "store_down", "outbox_overflow", "repeated_hour",
// "modem_set_aside", "implausible_slot"
std::string_view FindingKindName(FindingKind kind);
std::optional<FindingKind> FindingKindOfName(std::string_view name);

// A check's finding. (serial, kind, archive, period) is its key: the same
// finding made by a later read is not added again. `archive` is empty for a
// finding about the instrument (clock off: `period` is the read's UTC hour).
struct FindingRow {
  std::int64_t id = 0;
  std::string serial;
  FindingKind kind = FindingKind::TotalDown;
  std::optional<ArchiveKind> archive;
  std::string period;
  std::string detail;  // the finding in words, with its numbers
  std::int64_t readId = 0;
  std::string foundUtc;
  std::string ackedUtc, ackedBy;  // empty while the finding is open
};

// What a read saw in one slot of an archive (slot 0 the first of the area),
// byte for byte.
struct SlotRow {
  ArchiveKind archive = ArchiveKind::Hourly;
  std::int64_t slot = 0;
  std::vector<std::uint8_t> raw;
  std::int64_t readId = 0;
};

// One read's header block as the read fetched it (1024 bytes for the VTK
// models, 2048 for LDN-08): the model's values, calibration, the device
// clock at the read and the archive pointers.
struct HeaderRow {
  std::int64_t readId = 0;
  std::string serial;               // as the records have it
  std::string model;                // DeviceTypeName
  std::string takenUtc;             // when the read fetched it (the PC's clock)
  std::int64_t utcOffsetS = 0;      // the PC's offset from UTC then
  std::vector<std::uint8_t> block;  // the bytes as read
};

// Count and span of one instrument's archive in the store.
struct ArchiveStats {
  std::int64_t records = 0;
  std::string oldest, newest;  // periods; empty when none
};

// Per-archive completeness and the reads that tell an instrument's state.
struct ArchiveSummary {
  ArchiveStats stats;
  std::int64_t expected = 0;    // periods in the window
  std::int64_t held = 0;        // of them in the store
  std::int64_t goneInside = 0;  // periods of the gaps between the oldest and the newest held
  double completeness = 0;      // held / expected in %, 100 when none expected
};
struct InstrumentSummary {
  InstrumentRow instrument;
  std::optional<ReadRow> lastRead, lastGoodRead;
  std::array<ArchiveSummary, 3> archives{};  // by kArchiveKinds
  std::int64_t findings = 0, openFindings = 0, conflicts = 0;
};

// An instrument's reads since its last good one (by its name in collect.ini):
// how many, and the newest that failed (a read cut off by the end of the
// process, one with no outcome that is not the newest, counts as failed).
struct ReadRunKey {
  std::string name;
  std::string line;  // empty: any
};

struct ReadRun {
  std::string name;
  std::int64_t failuresInRow = 0;
  std::optional<ReadRow> lastFailure;
  bool lastCutOff = false;  // lastFailure has no outcome: the process ended during it
};

// The periods a summary's completeness counts: the `days` days that end
// with the last period closed before the hour `until`.
struct SummaryWindow {
  std::string from, to;       // period texts, inclusive
  std::int64_t expected = 0;  // periods from..to
};
SummaryWindow WindowOf(ArchiveKind kind, int days, const PeriodTime& until);

// One dial of a modem pool's modem: when it was dialled, connected (empty:
// never) and hung up, and the modem's answer ("CONNECT", "BUSY", "NO ANSWER",
// "NO CARRIER", "NO DIALTONE", "ERROR", "TIMEOUT"; "DROPPED" for a call
// lost during the read). UTC texts as elsewhere.
struct CallRow {
  std::int64_t id = 0;
  std::string origin, pool, device, line, phone;
  std::string dialedUtc, connectedUtc, endedUtc;
  std::string outcome;
};

// A message waiting for the broker. `origin` names the collector that made
// it, so that collectors sharing one database each send their own.
struct OutboxMessage {
  std::int64_t id = 0;  // given by Enqueue, ascending
  std::string origin;
  std::string topic;
  std::string payload;
  int qos = 1;
  bool retain = false;
  std::string createdUtc;
};

// A collector writing to the store, registered as it starts and seen at each
// renewal of its leases. Times are the database's clock.
struct CollectorRow {
  std::string origin, host;
  std::int64_t pid = 0;
  std::string version, startedUtc, seenUtc;
  bool alive = false;  // seen within the span Collectors() was given
};

// A shared line's lease: the collector `origin` may read the line until
// `untilUtc` (the database's clock); `epoch` grows with every take, so a
// holder that lost the lease and took it back is told apart from before.
// A released lease has an empty origin.
struct LeaseRow {
  std::string line, origin;
  std::int64_t epoch = 0;
  std::string untilUtc;
  bool held = false;          // an origin holds it and `untilUtc` is not past
  std::int64_t freeForS = 0;  // seconds since it expired or was released (0 while held)
};

}  // namespace statvtk::store
