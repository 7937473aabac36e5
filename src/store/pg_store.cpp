#include "store/pg_store.hpp"

#include <string>
#include <vector>

#include "store/pg_connection.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store {

namespace {

using sql::Stmt;

// The key of the advisory lock the schema is made under ("SVTK").
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(1398166603)";

std::size_t Index(Stmt s) { return static_cast<std::size_t>(s); }
long long LimitOf(std::size_t limit) { return limit == 0 ? sql::kNoLimit : static_cast<long long>(limit); }
PgParam OptDoubleParam(const std::optional<double>& v) { return v ? PgDouble(*v) : PgNull(); }

std::vector<PgParam> RecordParams(const RecordRow& r) {
  return {PgText(r.serial),
          PgText(ArchiveName(r.archive)),
          PgText(r.period),
          PgDouble(r.forwardTotal),
          PgDouble(r.reverseTotal),
          OptDoubleParam(r.forwardIncrement),
          OptDoubleParam(r.reverseIncrement),
          PgInt(r.flags),
          PgInt(r.valid ? 1 : 0),
          PgText(r.fields),
          PgInt(r.readId),
          PgInt(r.utcOffsetS),
          PgText(r.raw)};
}

// The record columns starting at `c`.
RecordRow RecordAt(const PgRows& rows, int i, int c) {
  RecordRow r;
  r.serial = rows.Text(i, c);
  r.archive = ArchiveOfName(rows.Text(i, c + 1)).value_or(ArchiveKind::Hourly);
  r.period = rows.Text(i, c + 2);
  r.forwardTotal = rows.Double(i, c + 3);
  r.reverseTotal = rows.Double(i, c + 4);
  r.forwardIncrement = rows.OptDouble(i, c + 5);
  r.reverseIncrement = rows.OptDouble(i, c + 6);
  r.flags = rows.Int(i, c + 7);
  r.valid = rows.Int(i, c + 8) != 0;
  r.fields = rows.Text(i, c + 9);
  r.readId = rows.Int(i, c + 10);
  r.utcOffsetS = rows.Int(i, c + 11);
  r.raw = rows.Text(i, c + 12);
  return r;
}

class PostgresStore final : public RecordStore {
 public:
  explicit PostgresStore(std::unique_ptr<PgConnection> c) : c_(std::move(c)) {}

  std::string_view Backend() const override { return "postgresql"; }

  Result<int> SchemaVersion() override {
    auto rows = c_->Exec(std::string(sql::kSelectVersion));
    if (!rows) return rows.error();
    return static_cast<int>(rows->Int(0, 0));
  }

  Result<void> Begin() override {
    auto r = c_->Exec("BEGIN");
    if (!r) return r.error();
    c_->SetInTransaction(true);
    return {};
  }
  Result<void> Commit() override {
    auto r = c_->Exec("COMMIT");
    c_->SetInTransaction(false);
    if (!r) return r.error();
    return {};
  }
  void Rollback() override {
    if (!c_->InTransaction()) return;
    (void)c_->Exec("ROLLBACK");
    c_->SetInTransaction(false);
  }

  Result<void> UpsertInstrument(const InstrumentRow& row) override {
    return Void(Run(Stmt::UpsertInstrument, {PgText(row.serial), PgText(row.model), PgText(row.name), PgText(row.line),
                                             PgInt(row.address), PgText(row.firstSeenUtc), PgText(row.lastReadUtc)}));
  }

  Result<std::vector<InstrumentRow>> Instruments() override {
    auto rows = Run(Stmt::SelectInstruments, {});
    if (!rows) return rows.error();
    std::vector<InstrumentRow> out;
    for (int i = 0; i < rows->Count(); ++i)
      out.push_back({rows->Text(i, 0), rows->Text(i, 1), rows->Text(i, 2), rows->Text(i, 3), rows->Int(i, 4),
                     rows->Text(i, 5), rows->Text(i, 6)});
    return out;
  }

  Result<std::int64_t> StartRead(const ReadStart& s) override {
    auto rows = Run(Stmt::StartRead, {PgText(s.serial), PgText(s.name), PgText(s.line), PgText(s.startedUtc),
                                      PgText(ReadModeName(s.mode))});
    if (!rows) return rows.error();
    return rows->Int(0, 0);
  }

  Result<void> FinishRead(std::int64_t id, const ReadFinish& f) override {
    return Void(Run(Stmt::FinishRead, {PgText(f.serial), PgText(f.endedUtc), PgText(ReadOutcomeName(f.outcome)),
                                       PgText(f.error), PgInt(f.requests), PgText(f.file), PgInt(f.recovered),
                                       PgInt(f.lost), PgInt(f.added), PgInt(f.conflicts), PgInt(id)}));
  }

  Result<std::vector<ReadRow>> Reads(const ReadQuery& q) override {
    auto rows =
        Run(Stmt::SelectReads, {PgText(q.serial), PgText(q.name), PgInt(q.goodOnly ? 1 : 0), PgInt(LimitOf(q.limit))});
    if (!rows) return rows.error();
    std::vector<ReadRow> out;
    for (int i = 0; i < rows->Count(); ++i) {
      ReadRow r;
      r.id = rows->Int(i, 0);
      r.serial = rows->Text(i, 1);
      r.name = rows->Text(i, 2);
      r.line = rows->Text(i, 3);
      r.startedUtc = rows->Text(i, 4);
      r.endedUtc = rows->Text(i, 5);
      r.mode = ReadModeOfName(rows->Text(i, 6)).value_or(ReadMode::New);
      r.outcome = ReadOutcomeOfName(rows->Text(i, 7));
      r.error = rows->Text(i, 8);
      r.requests = rows->Int(i, 9);
      r.file = rows->Text(i, 10);
      r.recovered = rows->Int(i, 11);
      r.lost = rows->Int(i, 12);
      r.added = rows->Int(i, 13);
      r.conflicts = rows->Int(i, 14);
      out.push_back(std::move(r));
    }
    return out;
  }

  Result<Upsert> UpsertRecord(const RecordRow& row) override {
    auto added = Run(Stmt::InsertRecord, RecordParams(row));
    if (!added) return added.error();
    if (added->Count() > 0) return Upsert::Added;
    auto stored = Run(Stmt::RecordRaw, {PgText(row.serial), PgText(ArchiveName(row.archive)), PgText(row.period)});
    if (!stored) return stored.error();
    const std::string storedRaw = stored->Text(0, 0);
    if (storedRaw == row.raw) return Upsert::Same;
    auto params = RecordParams(row);
    params.push_back(PgText(storedRaw));
    params.push_back(PgText(foundUtc_(row)));
    if (auto kept = Run(Stmt::InsertConflict, params); !kept) return kept.error();
    return Upsert::Conflict;
  }

  Result<std::vector<RecordRow>> Records(const RecordQuery& q) override {
    auto rows = Run(Stmt::SelectRecords, {PgText(q.serial), PgText(ArchiveName(q.archive)), PgText(q.from),
                                          PgText(q.to), PgInt(LimitOf(q.limit))});
    if (!rows) return rows.error();
    std::vector<RecordRow> out;
    for (int i = 0; i < rows->Count(); ++i) out.push_back(RecordAt(*rows, i, 0));
    return out;
  }

  Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive, const std::string& from,
                                           const std::string& to) override {
    auto rows = Run(Stmt::SelectPeriods, {PgText(serial), PgText(ArchiveName(archive)), PgText(from), PgText(to)});
    if (!rows) return rows.error();
    std::vector<std::string> out;
    for (int i = 0; i < rows->Count(); ++i) out.push_back(rows->Text(i, 0));
    return out;
  }

  Result<ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) override {
    auto rows = Run(Stmt::ArchiveStats, {PgText(serial), PgText(ArchiveName(archive))});
    if (!rows) return rows.error();
    return ArchiveStats{rows->Int(0, 0), rows->Text(0, 1), rows->Text(0, 2)};
  }

  Result<std::vector<ConflictRow>> Conflicts(const std::string& serial) override {
    auto rows = Run(Stmt::SelectConflicts, {PgText(serial)});
    if (!rows) return rows.error();
    std::vector<ConflictRow> out;
    for (int i = 0; i < rows->Count(); ++i)
      out.push_back({rows->Int(i, 0), RecordAt(*rows, i, 1), rows->Text(i, 14), rows->Text(i, 15)});
    return out;
  }

  Result<bool> UpsertEvent(const EventRow& e) override {
    auto rows =
        Run(Stmt::InsertEvent, {PgText(e.serial), PgText(e.time), PgInt(e.code), PgText(e.text), PgInt(e.readId)});
    if (!rows) return rows.error();
    return rows->Count() > 0;
  }

  Result<std::vector<EventRow>> Events(const std::string& serial, const std::string& from,
                                       const std::string& to) override {
    auto rows = Run(Stmt::SelectEvents, {PgText(serial), PgText(from), PgText(to)});
    if (!rows) return rows.error();
    std::vector<EventRow> out;
    for (int i = 0; i < rows->Count(); ++i)
      out.push_back({rows->Text(i, 0), rows->Text(i, 1), rows->Int(i, 2), rows->Text(i, 3), rows->Int(i, 4)});
    return out;
  }

  Result<bool> AddFinding(const FindingRow& f) override {
    auto rows = Run(Stmt::InsertFinding, {PgText(f.serial), PgText(FindingKindName(f.kind)),
                                          PgText(f.archive ? ArchiveName(*f.archive) : std::string_view()),
                                          PgText(f.period), PgText(f.detail), PgInt(f.readId), PgText(f.foundUtc)});
    if (!rows) return rows.error();
    return rows->Count() > 0;
  }

  Result<std::vector<FindingRow>> Findings(const std::string& serial) override {
    auto rows = Run(Stmt::SelectFindings, {PgText(serial)});
    if (!rows) return rows.error();
    std::vector<FindingRow> out;
    for (int i = 0; i < rows->Count(); ++i) {
      FindingRow f;
      f.id = rows->Int(i, 0);
      f.serial = rows->Text(i, 1);
      f.kind = FindingKindOfName(rows->Text(i, 2)).value_or(FindingKind::TotalDown);
      f.archive = ArchiveOfName(rows->Text(i, 3));
      f.period = rows->Text(i, 4);
      f.detail = rows->Text(i, 5);
      f.readId = rows->Int(i, 6);
      f.foundUtc = rows->Text(i, 7);
      out.push_back(std::move(f));
    }
    return out;
  }

  Result<std::int64_t> Enqueue(const OutboxMessage& m) override {
    auto rows = Run(Stmt::Enqueue, {PgText(m.origin), PgText(m.topic), PgText(m.payload), PgInt(m.qos),
                                    PgInt(m.retain ? 1 : 0), PgText(m.createdUtc)});
    if (!rows) return rows.error();
    return rows->Int(0, 0);
  }

  Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) override {
    auto rows = Run(Stmt::Peek, {PgText(origin), PgInt(LimitOf(limit))});
    if (!rows) return rows.error();
    std::vector<OutboxMessage> out;
    for (int i = 0; i < rows->Count(); ++i)
      out.push_back({rows->Int(i, 0), rows->Text(i, 1), rows->Text(i, 2), rows->Text(i, 3),
                     static_cast<int>(rows->Int(i, 4)), rows->Int(i, 5) != 0, rows->Text(i, 6)});
    return out;
  }

  Result<void> Ack(std::int64_t id) override { return Void(Run(Stmt::Ack, {PgInt(id)})); }

  Result<void> MarkGone(const std::string& serial, ArchiveKind archive, const std::string& period,
                        std::int64_t readId) override {
    return Void(Run(Stmt::MarkGone, {PgText(serial), PgText(ArchiveName(archive)), PgText(period), PgInt(readId)}));
  }

  Result<std::vector<std::string>> Gone(const std::string& serial, ArchiveKind archive) override {
    auto rows = Run(Stmt::SelectGone, {PgText(serial), PgText(ArchiveName(archive))});
    if (!rows) return rows.error();
    std::vector<std::string> out;
    for (int i = 0; i < rows->Count(); ++i) out.push_back(rows->Text(i, 0));
    return out;
  }

  Result<void> Check() override {
    auto version = SchemaVersion();
    if (!version) return version.error();
    if (*version != sql::kSchemaVersion)
      return MakeError(ErrorCode::BadData, "PostgreSQL: schema version " + std::to_string(*version) + ", expected " +
                                               std::to_string(sql::kSchemaVersion));
    return {};
  }

 private:
  Result<PgRows> Run(Stmt s, const std::vector<PgParam>& params) { return c_->Run(Index(s), params); }
  static Result<void> Void(const Result<PgRows>& r) {
    if (!r) return r.error();
    return {};
  }
  // A conflict's time: the database's clock, so collectors on several machines agree.
  std::string foundUtc_(const RecordRow&) {
    auto now = c_->Exec("SELECT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')");
    return now ? now->Text(0, 0) : std::string();
  }

  std::unique_ptr<PgConnection> c_;
};

// Creates or migrates the schema in one transaction under the advisory lock.
Result<void> Migrate(PgConnection& c) {
  if (auto r = c.Exec("BEGIN"); !r) return r.error();
  c.SetInTransaction(true);
  auto fail = [&](const Error& e) -> Result<void> {
    (void)c.Exec("ROLLBACK");
    c.SetInTransaction(false);
    return e;
  };
  if (auto r = c.Exec(kSchemaLock); !r) return fail(r.error());
  if (auto r = c.Exec(std::string(sql::kVersionTable)); !r) return fail(r.error());
  auto current = c.Exec(std::string(sql::kSelectVersion));
  if (!current) return fail(current.error());
  const int version = static_cast<int>(current->Int(0, 0));
  if (version > sql::kSchemaVersion)
    return fail(MakeError(ErrorCode::BadData, "PostgreSQL: the database has schema version " + std::to_string(version) +
                                                  ", newer than this program's " +
                                                  std::to_string(sql::kSchemaVersion)));
  for (const auto& step : sql::kSchema) {
    if (step.version <= version) continue;
    for (std::size_t i = 0; i < step.count; ++i)
      if (auto r = c.Exec(sql::WithId(step.statements[i], sql::kPostgresId)); !r) return fail(r.error());
    if (auto r = c.Exec("INSERT INTO schema_version(version) VALUES(" + std::to_string(step.version) + ")"); !r)
      return fail(r.error());
  }
  auto done = c.Exec("COMMIT");
  c.SetInTransaction(false);
  if (!done) return done.error();
  return {};
}

}  // namespace

Result<std::unique_ptr<RecordStore>> OpenPostgresStore(std::string_view url) {
  // A database that cannot be opened at start is a setting that cannot be used.
  auto refused = [](Error e) {
    e.code = ErrorCode::BadSettings;
    return e;
  };
  {
    auto schema = PgConnection::Open(url, {});
    if (!schema) return refused(schema.error());
    if (auto r = Migrate(**schema); !r) return refused(r.error());
  }
  std::vector<std::string> statements;
  for (const auto& s : sql::kStatements) statements.emplace_back(s);
  auto c = PgConnection::Open(url, std::move(statements));
  if (!c) return refused(c.error());
  return std::unique_ptr<RecordStore>(std::make_unique<PostgresStore>(std::move(*c)));
}

const StoreBackend& PostgresBackend() {
  static const StoreBackend backend{
      "postgresql", [](std::string_view database) { return IsPostgresUrl(database); },
      [](std::string_view database, const std::filesystem::path&) { return OpenPostgresStore(database); }};
  return backend;
}

}  // namespace statvtk::store
