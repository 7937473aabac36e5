// The record store over one SqlConnection: every operation written once for
// SQLite and PostgreSQL alike, with the statements of store_sql.hpp.
#pragma once

#include <memory>
#include <span>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"
#include "store/store_queries.hpp"
#include "store/store_schema.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store {

// Each row of `rows` made into a T by `at(rows, i)`.
template <class T, class F>
Result<std::vector<T>> Each(Result<SqlRows> rows, F at) {
  if (!rows) return rows.error();
  std::vector<T> out;
  out.reserve(static_cast<std::size_t>(rows->Count()));
  for (int i = 0; i < rows->Count(); ++i) out.push_back(at(*rows, i));
  return out;
}

inline std::string TextAt(const SqlRows& rows, int i) { return rows.Text(i, 0); }

inline Result<void> Void(const Result<SqlRows>& r) {
  if (!r) return r.error();
  return {};
}

// The read columns (sql::kReadColumns) of row `i` from column `c` on.
ReadRow ReadAt(const SqlRows& rows, int i, int c = 0);

class SqlStore final : public RecordStore {
 public:
  SqlStore(std::unique_ptr<SqlConnection> c, StoreOptions options) : c_(std::move(c)), options_(std::move(options)) {}

  std::string_view Backend() const override { return c_->Backend(); }
  Result<int> SchemaVersion() override;
  Result<void> Begin() override { return c_->Begin(); }
  Result<void> Commit() override { return c_->Commit(); }
  void Rollback() override { c_->Rollback(); }

  Result<void> UpsertInstrument(const InstrumentRow& row) override;
  Result<std::vector<InstrumentRow>> Instruments() override;
  Result<std::int64_t> StartRead(const ReadStart& start) override;
  Result<void> FinishRead(std::int64_t id, const ReadFinish& finish) override;
  Result<std::vector<ReadRow>> Reads(const ReadQuery& query) override;
  Result<std::vector<Upsert>> PutRecords(std::span<const RecordRow> rows) override;
  Result<std::vector<RecordRow>> Records(const RecordQuery& query) override;
  Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive, const std::string& from,
                                           const std::string& to) override;
  Result<ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) override;
  Result<std::vector<PeriodSpan>> Holes(const std::string& serial, ArchiveKind archive, const std::string& from,
                                        const std::string& to) override;
  Result<std::vector<ConflictRow>> Conflicts(const std::string& serial) override;
  Result<void> PutHeader(const HeaderRow& row) override;
  Result<std::optional<HeaderRow>> NewestHeader(const std::string& serial) override;
  Result<bool> UpsertEvent(const EventRow& row) override;
  Result<std::int64_t> PutEvents(std::span<const EventRow> rows) override;
  Result<std::vector<EventRow>> Events(const std::string& serial, const std::string& from,
                                       const std::string& to) override;
  Result<std::vector<InstrumentSummary>> Summaries(int days, const PeriodTime& until) override;
  Result<std::vector<ReadRun>> ReadRuns(std::span<const ReadRunKey> keys) override;
  Result<std::int64_t> PruneHeaders(int keepDays, const std::string& nowUtc) override;
  Result<std::vector<DayCount>> HourlyByDay(std::span<const std::string> serials, const std::string& from,
                                            const std::string& to) override;
  Result<std::vector<ReadDayCount>> ReadsByDay(const std::string& fromUtc) override;
  Result<bool> AddFinding(const FindingRow& row) override;
  Result<std::vector<FindingRow>> Findings(const std::string& serial) override;
  Result<bool> AckFinding(std::int64_t id, const std::string& by, const std::string& utc) override;
  Result<SituationChanges> PutSituations(const std::string& serial, std::span<const SituationRow> found,
                                         const std::string& utc) override;
  Result<SituationChanges> RaiseSituation(const SituationRow& row, const std::string& utc) override;
  Result<SituationChanges> ClearSituations(const std::string& serial, const std::string& kind,
                                           const std::string& source, const std::string& lastHour,
                                           const std::string& utc) override;
  Result<std::vector<SituationRow>> Situations(const SituationQuery& query) override;
  Result<std::int64_t> CountSituations(const SituationQuery& query) override;
  Result<bool> AckSituation(std::int64_t id, const std::string& by, const std::string& utc) override;
  Result<std::int64_t> AddCall(const CallRow& call) override;
  Result<std::vector<CallRow>> Calls(const std::string& line, std::size_t limit) override;
  Result<std::int64_t> Enqueue(const OutboxMessage& message) override;
  Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) override;
  Result<std::int64_t> TrimOutbox(const std::string& origin, std::int64_t keep) override;
  Result<std::int64_t> OutboxSize(const std::string& origin) override;
  Result<void> Ack(std::int64_t id) override;
  Result<void> RegisterCollector(const CollectorRow& row) override;
  Result<void> SeeCollector(const std::string& origin) override;
  Result<std::vector<CollectorRow>> Collectors(std::int64_t aliveWithinS) override;
  Result<std::optional<std::int64_t>> TakeLease(const std::string& line, const std::string& origin,
                                                std::int64_t ttlS) override;
  Result<bool> RenewLease(const std::string& line, const std::string& origin, std::int64_t epoch,
                          std::int64_t ttlS) override;
  Result<void> ReleaseLease(const std::string& line, const std::string& origin, std::int64_t epoch) override;
  Result<std::vector<LeaseRow>> Leases() override;
  Result<std::int64_t> AdoptOutbox(const std::string& origin, std::int64_t unseenForS) override;
  Result<void> PutGap(const std::string& serial, ArchiveKind archive, const PeriodSpan& gap,
                      std::int64_t readId) override;
  Result<std::vector<PeriodSpan>> Gaps(const std::string& serial, ArchiveKind archive, const std::string& from,
                                       const std::string& to) override;
  Result<std::int64_t> PutSlots(const std::string& serial, std::span<const SlotRow> slots) override;
  Result<std::vector<SlotRow>> Slots(const std::string& serial, ArchiveKind archive) override;
  Result<void> ForgetSlots(const std::string& serial, ArchiveKind archive, std::int64_t first, std::int64_t last,
                           std::int64_t readId) override;
  Result<void> Check() override;

 private:
  // One instrument's archive of a batch: `at` its rows' places in `rows`.
  Result<void> PutArchive(std::span<const RecordRow> rows, const std::vector<std::size_t>& at,
                          std::vector<Upsert>& out);
  // `f()` in the caller's transaction, else in one of its own.
  template <class F>
  auto InTransaction(F f) -> decltype(f());
  Result<SqlRows> Run(const sql::Statement& s, const std::vector<SqlValue>& params);
  Result<SqlRows> Run(const SqlQuery& q);
  // Ends the open situation `closed` (its end and hours set) as of `now`,
  // and adds it to the changes.
  Result<void> CloseSituation(SituationRow closed, const std::string& now, SituationChanges& changes);

  std::unique_ptr<SqlConnection> c_;
  StoreOptions options_;
};

template <class F>
auto SqlStore::InTransaction(F f) -> decltype(f()) {
  if (c_->InTransaction()) return f();
  if (auto r = c_->Begin(); !r) return r.error();
  auto result = f();
  if (!result) {
    c_->Rollback();
    return result;
  }
  if (auto r = c_->Commit(); !r) return r.error();
  return result;
}

// Creates the schema or brings it up to this program's version, in one
// transaction under the connection's schema lock; refuses a newer one.
Result<void> MigrateSchema(SqlConnection& c);
// For a connection that only reads: the schema must be this program's.
Result<void> CheckSchemaForReading(SqlConnection& c);

}  // namespace statvtk::store
