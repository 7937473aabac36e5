// The collector's record store: instruments, reads, records, events, gaps,
// slots and summaries here; findings, calls, the message outbox, leases and
// collectors (store_roles.hpp) and situations (situation_store.hpp) are
// roles of their own that a caller may take alone. Two backends (SQLite, PostgreSQL) share
// the schema and the statements; the
// `Database=` text chooses one (OpenRecordStore). The rows it keeps and
// gives back are in store/store_rows.hpp.
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
#include "store/daily_counts.hpp"
#include "store/situation_store.hpp"
#include "store/store_roles.hpp"
#include "store/store_rows.hpp"

namespace statvtk::store {

// The store. One writer at a time (the collector writes through one thread or
// a mutex); readers (status, export, the HTTP API) may open their own.
// Every call returns an Error rather than throwing.
class RecordStore : public SituationStore,
                    public FindingStore,
                    public CallStore,
                    public OutboxStore,
                    public LeaseStore {
 public:
  virtual ~RecordStore() = default;

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

  // The completeness view, one statement for a page of instruments: per
  // serial of `serials` and day, its hourly records of the periods
  // from..to (inclusive), and each one's oldest hourly period.
  virtual Result<std::vector<DayCount>> HourlyByDay(std::span<const std::string> serials, const std::string& from,
                                                    const std::string& to) {
    (void)serials, (void)from, (void)to;
    return MakeError(ErrorCode::StoreSchema, "this store counts no days");
  }
  // The reads started since `fromUtc` per line and per modem pool, UTC day.
  virtual Result<std::vector<ReadDayCount>> ReadsByDay(const std::string& fromUtc) {
    (void)fromUtc;
    return MakeError(ErrorCode::StoreSchema, "this store counts no days");
  }

  // Header retention: the headers of the last `keepDays` days are all kept;
  // of older ones, one per instrument and day (the day's last); a serial's
  // newest header always stays. The number removed.
  virtual Result<std::int64_t> PruneHeaders(int keepDays, const std::string& nowUtc) {
    (void)keepDays, (void)nowUtc;
    return std::int64_t{0};
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
