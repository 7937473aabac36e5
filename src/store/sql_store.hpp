// The record store over one SqlConnection: every operation written once for
// SQLite and PostgreSQL alike, with the statements of store_sql.hpp.
#pragma once

#include <memory>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"
#include "store/store_schema.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store {

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
  Result<Upsert> UpsertRecord(const RecordRow& row) override;
  Result<std::vector<RecordRow>> Records(const RecordQuery& query) override;
  Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive, const std::string& from,
                                           const std::string& to) override;
  Result<ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) override;
  Result<std::vector<ConflictRow>> Conflicts(const std::string& serial) override;
  Result<void> PutHeader(const HeaderRow& row) override;
  Result<std::optional<HeaderRow>> NewestHeader(const std::string& serial) override;
  Result<bool> UpsertEvent(const EventRow& row) override;
  Result<std::vector<EventRow>> Events(const std::string& serial, const std::string& from,
                                       const std::string& to) override;
  Result<bool> AddFinding(const FindingRow& row) override;
  Result<std::vector<FindingRow>> Findings(const std::string& serial) override;
  Result<bool> AckFinding(std::int64_t id, const std::string& by, const std::string& utc) override;
  Result<std::int64_t> Enqueue(const OutboxMessage& message) override;
  Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) override;
  Result<void> Ack(std::int64_t id) override;
  Result<void> MarkGone(const std::string& serial, ArchiveKind archive, const std::string& period,
                        std::int64_t readId) override;
  Result<std::vector<std::string>> Gone(const std::string& serial, ArchiveKind archive) override;
  Result<void> Check() override;

 private:
  Result<Upsert> UpsertRecordIn(const RecordRow& row);
  Result<SqlRows> Run(const sql::Statement& s, const std::vector<SqlValue>& params);

  std::unique_ptr<SqlConnection> c_;
  StoreOptions options_;
};

// Creates the schema or brings it up to this program's version, in one
// transaction under the connection's schema lock; refuses a newer one.
Result<void> MigrateSchema(SqlConnection& c);

}  // namespace statvtk::store
