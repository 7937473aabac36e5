// The collector's record store behind one small interface: instruments, reads,
// records, events, findings, gaps, summaries and the message outbox. Two
// backends (SQLite, PostgreSQL) share the schema and the statements; the
// `Database=` text chooses one (OpenRecordStore).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
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

// The store. One writer at a time (the collector writes through one thread or
// a mutex); readers (status, export, the HTTP API) may open their own.
// Every call returns an Error rather than throwing.
class RecordStore {
 public:
  virtual ~RecordStore() = default;
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  virtual std::string_view Backend() const = 0;  // "sqlite", "postgresql"
  virtual Result<int> SchemaVersion() = 0;

  // A transaction around a read's rows (see StoreTransaction).
  virtual Result<void> Begin() = 0;
  virtual Result<void> Commit() = 0;
  virtual void Rollback() = 0;

  // Instruments: inserted, or name/line/address (and lastReadUtc when given) updated.
  virtual Result<void> UpsertInstrument(const InstrumentRow& row) = 0;
  virtual Result<std::vector<InstrumentRow>> Instruments() = 0;

  // Reads: a row at the start (the id), completed at the end.
  virtual Result<std::int64_t> StartRead(const ReadStart& start) = 0;
  virtual Result<void> FinishRead(std::int64_t id, const ReadFinish& finish) = 0;
  // Newest first.
  virtual Result<std::vector<ReadRow>> Reads(const ReadQuery& query) = 0;

  // The records a read fetched (only those: the cost does not grow with the
  // instrument's history), one result per row in order. A key given twice
  // counts the first; the second is Same or a conflict with it. In the
  // caller's transaction, else in one of its own.
  virtual Result<std::vector<Upsert>> PutRecords(std::span<const RecordRow> rows) = 0;
  Result<Upsert> UpsertRecord(const RecordRow& row) {
    auto r = PutRecords({&row, 1});
    if (!r) return r.error();
    return r->front();
  }
  // In period order.
  virtual Result<std::vector<RecordRow>> Records(const RecordQuery& query) = 0;
  // The periods held in [from, to] (inclusive; empty bounds open), in order.
  virtual Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive,
                                                   const std::string& from, const std::string& to) = 0;
  virtual Result<ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) = 0;
  // The runs of periods of [from, to] (inclusive, both given) that the store
  // holds no record of and that no gap covers, in order: computed from the
  // records and the gaps of that range alone, so a range of a century with
  // one record at each end costs two rows, not a row a period.
  virtual Result<std::vector<PeriodSpan>> Holes(const std::string& serial, ArchiveKind archive, const std::string& from,
                                                const std::string& to) = 0;
  // Empty serial: all; newest first.
  virtual Result<std::vector<ConflictRow>> Conflicts(const std::string& serial) = 0;

  // The header block a read fetched, stored with the read (in its
  // transaction); storing one again for the same read replaces it.
  virtual Result<void> PutHeader(const HeaderRow& row) = 0;
  // The header of the serial's newest read that stored one; empty when none did.
  virtual Result<std::optional<HeaderRow>> NewestHeader(const std::string& serial) = 0;

  // Events: true when added, false when the key was stored.
  virtual Result<bool> UpsertEvent(const EventRow& row) = 0;
  // A read's events: how many were added.
  virtual Result<std::int64_t> PutEvents(std::span<const EventRow> rows) = 0;
  virtual Result<std::vector<EventRow>> Events(const std::string& serial, const std::string& from,
                                               const std::string& to) = 0;

  // Every stored instrument with its last reads, its archives' counts and
  // completeness over the `days` days before the hour `untilPeriod`, and its
  // findings and conflicts counted: a fixed number of statements whatever
  // the fleet's size or history. In line, address, serial order.
  virtual Result<std::vector<InstrumentSummary>> Summaries(int days, const PeriodTime& until) = 0;

  // The read runs of these instruments (a name on its line; an empty line:
  // any), one per key in order, in one statement whatever their number (this
  // default asks per key).
  virtual Result<std::vector<ReadRun>> ReadRuns(std::span<const ReadRunKey> keys);

  // Header retention: the headers of the last `keepDays` days are all kept;
  // of older ones, one per instrument and day (the day's last); a serial's
  // newest header always stays. The number removed.
  virtual Result<std::int64_t> PruneHeaders(int keepDays, const std::string& nowUtc) {
    (void)keepDays, (void)nowUtc;
    return std::int64_t{0};
  }

  // Findings: true when added, false when known.
  virtual Result<bool> AddFinding(const FindingRow& row) = 0;
  // Empty serial: all; newest first.
  virtual Result<std::vector<FindingRow>> Findings(const std::string& serial) = 0;
  // Marks an open finding acknowledged; false when there is none open with that id.
  virtual Result<bool> AckFinding(std::int64_t id, const std::string& by, const std::string& utc) = 0;

  // Calls: a row per dial; `line` empty: all lines; newest first, at most `limit` (0: all).
  virtual Result<std::int64_t> AddCall(const CallRow& call) = 0;
  virtual Result<std::vector<CallRow>> Calls(const std::string& line, std::size_t limit) = 0;

  // Outbox: Enqueue inside the read's transaction; Peek the oldest of an
  // origin in order; Ack removes one sent message.
  virtual Result<std::int64_t> Enqueue(const OutboxMessage& message) = 0;
  virtual Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) = 0;
  virtual Result<void> Ack(std::int64_t id) = 0;
  // The outbox's bound: drops the oldest messages of `origin` that are not
  // retained until at most `keep` wait (a retained one, an instrument's
  // state, is never dropped); the number dropped.
  virtual Result<std::int64_t> TrimOutbox(const std::string& origin, std::int64_t keep) = 0;
  // The messages of `origin` waiting for the broker.
  virtual Result<std::int64_t> OutboxSize(const std::string& origin) {
    (void)origin;
    return MakeError(ErrorCode::StoreSchema, "this store keeps no outbox");
  }

  // Collectors sharing the store (PostgreSQL; SQLite keeps them for one).
  // Every time is the database's own clock, never the host's.
  // Register: inserted or replaced, started and seen now. See: seen now.
  virtual Result<void> RegisterCollector(const CollectorRow& row) { return NoLeases(row.origin); }
  virtual Result<void> SeeCollector(const std::string& origin) { return NoLeases(origin); }
  // Every registered collector, `alive` when seen within `aliveWithinS`; by origin.
  virtual Result<std::vector<CollectorRow>> Collectors(std::int64_t aliveWithinS) {
    (void)aliveWithinS;
    return NoLeases("");
  }
  // Takes the line's lease for `ttlS` seconds when no one holds it (never
  // taken, released or expired): the new epoch, or nothing when another holds it.
  virtual Result<std::optional<std::int64_t>> TakeLease(const std::string& line, const std::string& origin,
                                                        std::int64_t ttlS) {
    (void)line, (void)ttlS;
    return NoLeases(origin);
  }
  // Extends the lease to now + `ttlS` while (line, origin, epoch) still hold
  // it: false when it expired, was released or was taken by another. Inside a
  // read's transaction this is its fence.
  virtual Result<bool> RenewLease(const std::string& line, const std::string& origin, std::int64_t epoch,
                                  std::int64_t ttlS) {
    (void)line, (void)epoch, (void)ttlS;
    return NoLeases(origin);
  }
  // Gives the lease up (when still this holder's); the next taker bumps the epoch.
  virtual Result<void> ReleaseLease(const std::string& line, const std::string& origin, std::int64_t epoch) {
    (void)line, (void)epoch;
    return NoLeases(origin);
  }
  // Every lease, by line.
  virtual Result<std::vector<LeaseRow>> Leases() { return NoLeases(""); }
  // The outbox of every other collector not seen for `unseenForS` seconds
  // becomes `origin`'s, in one statement (each message adopted once, its
  // order kept: ids ascend); the number adopted.
  virtual Result<std::int64_t> AdoptOutbox(const std::string& origin, std::int64_t unseenForS) {
    (void)unseenForS;
    return NoLeases(origin);
  }

  // Gaps: runs of periods a read found the meter never wrote or no longer
  // holds, never asked for again. One row a gap: a run that overlaps or
  // touches stored ones is joined with them into one.
  virtual Result<void> PutGap(const std::string& serial, ArchiveKind archive, const PeriodSpan& gap,
                              std::int64_t readId) = 0;
  // The gaps that overlap [from, to] (empty bounds open), in order.
  virtual Result<std::vector<PeriodSpan>> Gaps(const std::string& serial, ArchiveKind archive, const std::string& from,
                                               const std::string& to) = 0;

  // Slots: what the reads saw at each position of an archive's memory,
  // whatever the bytes mean. Stored where they differ from the bytes kept
  // (the number of rows written); in slot order.
  virtual Result<std::int64_t> PutSlots(const std::string& serial, std::span<const SlotRow> slots) = 0;
  virtual Result<std::vector<SlotRow>> Slots(const std::string& serial, ArchiveKind archive) = 0;
  // Forgets the slots first..last of the archive (the meter wrote them since
  // they were seen) but those `readId` saw: the next read fetches them.
  virtual Result<void> ForgetSlots(const std::string& serial, ArchiveKind archive, std::int64_t first,
                                   std::int64_t last, std::int64_t readId) = 0;

  // The backend's own consistency check (SQLite: PRAGMA integrity_check).
  virtual Result<void> Check() = 0;

 private:
  static Error NoLeases(const std::string&) {
    return MakeError(ErrorCode::StoreSchema, "this store keeps no collectors or leases");
  }
};

// Begin on construction, Rollback on destruction unless committed.
class StoreTransaction {
 public:
  explicit StoreTransaction(RecordStore& store) : store_(store), begun_(store.Begin()) {}
  ~StoreTransaction() {
    if (begun_ && !done_) store_.Rollback();
  }
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;
  const Result<void>& Begun() const { return begun_; }
  Result<void> Commit() {
    if (!begun_) return begun_.error();
    done_ = true;
    return store_.Commit();
  }

 private:
  RecordStore& store_;
  Result<void> begun_;
  bool done_ = false;
};

// True for a failure of a store that cannot be reached now (no connection,
// or locked past the wait): the same call may succeed later, and a server
// answers "service unavailable". Every other store failure is a refusal
// (a full or read-only disk, damage, a constraint): trying again changes nothing.
bool StoreUnavailable(const Error& e);

// How a connection to the store is opened.
struct StoreOptions {
  std::string origin;                         // the collector writing through it: the origin of the reads it starts
  std::chrono::milliseconds busyWait{10000};  // SQLite: how long a statement waits for another connection's lock
  // Only reads: the store must exist with this program's schema (nothing is
  // created or upgraded), every write fails StoreFull; a SQLite file in a
  // folder the program may not write works.
  bool readOnly = false;
  // PostgreSQL: how long a statement waits for a row another connection
  // holds locked before it fails StoreBusy; 0: as long as it takes.
  std::chrono::milliseconds lockWait{0};
};

// One backend in the table OpenRecordStore walks: the first that accepts the
// `Database=` text opens it. `home` resolves a relative SQLite path.
struct StoreBackend {
  std::string_view name;
  bool (*accepts)(std::string_view database);
  Result<std::unique_ptr<RecordStore>> (*open)(std::string_view database, const std::filesystem::path& home,
                                               const StoreOptions& options);
};
std::span<const StoreBackend> StoreBackends();

// "postgresql://..." (or "postgres://...") opens PostgreSQL; anything else is
// a SQLite file path (relative to `home`). The schema is created or migrated.
Result<std::unique_ptr<RecordStore>> OpenRecordStore(std::string_view database, const std::filesystem::path& home,
                                                     const StoreOptions& options = {});

// The summary of every stored instrument (or of `serial`) over the `days`
// days that end with the hour `untilPeriod` ("YYYY-MM-DD HH:00", the
// instruments' time now): RecordStore::Summaries, filtered.
Result<std::vector<InstrumentSummary>> Summaries(RecordStore& store, const std::string& serial, int days,
                                                 const std::string& untilPeriod);

}  // namespace statvtk::store
