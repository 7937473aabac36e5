#include "store/sqlite_store.hpp"

#include <array>
#include <utility>

#include "store/periods.hpp"
#include "store/sqlite_db.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store {

namespace {

using sql::Stmt;

class SqliteStore final : public RecordStore {
 public:
  explicit SqliteStore(SqliteDb db) : db_(std::move(db)) {}

  Result<void> Prepare() {
    for (std::size_t i = 0; i < stmts_.size(); ++i) {
      auto s = db_.Prepare(sql::kStatements[i]);
      if (!s) return s.error();
      stmts_[i] = std::move(*s);
    }
    return {};
  }

  std::string_view Backend() const override { return "sqlite"; }

  Result<int> SchemaVersion() override {
    auto s = db_.Prepare(sql::kSelectVersion);
    if (!s) return s.error();
    auto row = s->Step();
    if (!row) return row.error();
    return *row ? static_cast<int>(s->Int(0)) : 0;
  }

  Result<void> Begin() override { return db_.Exec("BEGIN IMMEDIATE"); }
  Result<void> Commit() override { return db_.Exec("COMMIT"); }
  void Rollback() override { (void)db_.Exec("ROLLBACK"); }

  Result<void> UpsertInstrument(const InstrumentRow& r) override {
    return S(Stmt::UpsertInstrument)
        .Bind(1, r.serial)
        .Bind(2, r.model)
        .Bind(3, r.name)
        .Bind(4, r.line)
        .Bind(5, r.address)
        .Bind(6, r.firstSeenUtc)
        .Bind(7, r.lastReadUtc)
        .Run();
  }

  Result<std::vector<InstrumentRow>> Instruments() override {
    auto& s = S(Stmt::SelectInstruments);
    return Rows<InstrumentRow>(s, [](SqliteStatement& q) {
      return InstrumentRow{q.Text(0), q.Text(1), q.Text(2), q.Text(3), q.Int(4), q.Text(5), q.Text(6)};
    });
  }

  Result<std::int64_t> StartRead(const ReadStart& r) override {
    auto& s = S(Stmt::StartRead)
                  .Bind(1, r.serial)
                  .Bind(2, r.name)
                  .Bind(3, r.line)
                  .Bind(4, r.startedUtc)
                  .Bind(5, ReadModeName(r.mode));
    return Scalar(s);
  }

  Result<void> FinishRead(std::int64_t id, const ReadFinish& f) override {
    return S(Stmt::FinishRead)
        .Bind(1, f.serial)
        .Bind(2, f.endedUtc)
        .Bind(3, ReadOutcomeName(f.outcome))
        .Bind(4, f.error)
        .Bind(5, f.requests)
        .Bind(6, f.file)
        .Bind(7, f.recovered)
        .Bind(8, f.lost)
        .Bind(9, f.added)
        .Bind(10, f.conflicts)
        .Bind(11, id)
        .Run();
  }

  Result<std::vector<ReadRow>> Reads(const ReadQuery& q) override {
    auto& s = S(Stmt::SelectReads)
                  .Bind(1, q.serial)
                  .Bind(2, q.name)
                  .Bind(3, std::int64_t{q.goodOnly ? 1 : 0})
                  .Bind(4, static_cast<std::int64_t>(q.limit ? q.limit : sql::kNoLimit));
    return Rows<ReadRow>(s, [](SqliteStatement& r) {
      ReadRow row;
      row.id = r.Int(0);
      row.serial = r.Text(1);
      row.name = r.Text(2);
      row.line = r.Text(3);
      row.startedUtc = r.Text(4);
      row.endedUtc = r.Text(5);
      row.mode = ReadModeOfName(r.Text(6)).value_or(ReadMode::New);
      row.outcome = ReadOutcomeOfName(r.Text(7));
      row.error = r.Text(8);
      row.requests = r.Int(9);
      row.file = r.Text(10);
      row.recovered = r.Int(11);
      row.lost = r.Int(12);
      row.added = r.Int(13);
      row.conflicts = r.Int(14);
      return row;
    });
  }

  Result<Upsert> UpsertRecord(const RecordRow& r) override {
    auto& ins = BindRecord(S(Stmt::InsertRecord), r);
    auto added = ins.Step();
    if (!added) return added.error();
    ins.Reset();
    if (*added) return Upsert::Added;
    auto& raw = S(Stmt::RecordRaw).Bind(1, r.serial).Bind(2, ArchiveName(r.archive)).Bind(3, r.period);
    auto found = raw.Step();
    if (!found) return found.error();
    const std::string stored = *found ? raw.Text(0) : std::string();
    raw.Reset();
    if (stored == r.raw) return Upsert::Same;
    auto& c = BindRecord(S(Stmt::InsertConflict), r).Bind(14, stored).Bind(15, UtcNow());
    if (auto done = c.Run(); !done) return done.error();
    return Upsert::Conflict;
  }

  Result<std::vector<RecordRow>> Records(const RecordQuery& q) override {
    auto& s = S(Stmt::SelectRecords)
                  .Bind(1, q.serial)
                  .Bind(2, ArchiveName(q.archive))
                  .Bind(3, q.from)
                  .Bind(4, q.to)
                  .Bind(5, static_cast<std::int64_t>(q.limit ? q.limit : sql::kNoLimit));
    return Rows<RecordRow>(s, [](SqliteStatement& r) { return ReadRecord(r, 0); });
  }

  Result<std::vector<std::string>> Periods(const std::string& serial, ArchiveKind archive, const std::string& from,
                                           const std::string& to) override {
    auto& s = S(Stmt::SelectPeriods).Bind(1, serial).Bind(2, ArchiveName(archive)).Bind(3, from).Bind(4, to);
    return Rows<std::string>(s, [](SqliteStatement& r) { return r.Text(0); });
  }

  Result<ArchiveStats> Stats(const std::string& serial, ArchiveKind archive) override {
    auto& s = S(Stmt::ArchiveStats).Bind(1, serial).Bind(2, ArchiveName(archive));
    auto rows = Rows<ArchiveStats>(s, [](SqliteStatement& r) { return ArchiveStats{r.Int(0), r.Text(1), r.Text(2)}; });
    if (!rows) return rows.error();
    return rows->empty() ? ArchiveStats{} : rows->front();
  }

  Result<std::vector<ConflictRow>> Conflicts(const std::string& serial) override {
    auto& s = S(Stmt::SelectConflicts).Bind(1, serial);
    return Rows<ConflictRow>(s, [](SqliteStatement& r) {
      return ConflictRow{r.Int(0), ReadRecord(r, 1), r.Text(14), r.Text(15)};
    });
  }

  Result<bool> UpsertEvent(const EventRow& e) override {
    auto& s = S(Stmt::InsertEvent).Bind(1, e.serial).Bind(2, e.time).Bind(3, e.code).Bind(4, e.text).Bind(5, e.readId);
    return Added(s);
  }

  Result<std::vector<EventRow>> Events(const std::string& serial, const std::string& from,
                                       const std::string& to) override {
    auto& s = S(Stmt::SelectEvents).Bind(1, serial).Bind(2, from).Bind(3, to);
    return Rows<EventRow>(s, [](SqliteStatement& r) {
      return EventRow{r.Text(0), r.Text(1), r.Int(2), r.Text(3), r.Int(4)};
    });
  }

  Result<bool> AddFinding(const FindingRow& f) override {
    auto& s = S(Stmt::InsertFinding)
                  .Bind(1, f.serial)
                  .Bind(2, FindingKindName(f.kind))
                  .Bind(3, f.archive ? ArchiveName(*f.archive) : std::string_view())
                  .Bind(4, f.period)
                  .Bind(5, f.detail)
                  .Bind(6, f.readId)
                  .Bind(7, f.foundUtc.empty() ? UtcNow() : f.foundUtc);
    return Added(s);
  }

  Result<std::vector<FindingRow>> Findings(const std::string& serial) override {
    auto& s = S(Stmt::SelectFindings).Bind(1, serial);
    return Rows<FindingRow>(s, [](SqliteStatement& r) {
      FindingRow f;
      f.id = r.Int(0);
      f.serial = r.Text(1);
      f.kind = FindingKindOfName(r.Text(2)).value_or(FindingKind::TotalDown);
      f.archive = ArchiveOfName(r.Text(3));
      f.period = r.Text(4);
      f.detail = r.Text(5);
      f.readId = r.Int(6);
      f.foundUtc = r.Text(7);
      return f;
    });
  }

  Result<std::int64_t> Enqueue(const OutboxMessage& m) override {
    auto& s = S(Stmt::Enqueue)
                  .Bind(1, m.origin)
                  .Bind(2, m.topic)
                  .Bind(3, m.payload)
                  .Bind(4, std::int64_t{m.qos})
                  .Bind(5, std::int64_t{m.retain ? 1 : 0})
                  .Bind(6, m.createdUtc.empty() ? UtcNow() : m.createdUtc);
    return Scalar(s);
  }

  Result<std::vector<OutboxMessage>> Peek(const std::string& origin, std::size_t limit) override {
    auto& s = S(Stmt::Peek).Bind(1, origin).Bind(2, static_cast<std::int64_t>(limit ? limit : sql::kNoLimit));
    return Rows<OutboxMessage>(s, [](SqliteStatement& r) {
      return OutboxMessage{r.Int(0),      r.Text(1), r.Text(2), r.Text(3), static_cast<int>(r.Int(4)),
                           r.Int(5) != 0, r.Text(6)};
    });
  }

  Result<void> Ack(std::int64_t id) override { return S(Stmt::Ack).Bind(1, id).Run(); }

  Result<void> MarkGone(const std::string& serial, ArchiveKind archive, const std::string& period,
                        std::int64_t readId) override {
    return S(Stmt::MarkGone).Bind(1, serial).Bind(2, ArchiveName(archive)).Bind(3, period).Bind(4, readId).Run();
  }

  Result<std::vector<std::string>> Gone(const std::string& serial, ArchiveKind archive) override {
    auto& s = S(Stmt::SelectGone).Bind(1, serial).Bind(2, ArchiveName(archive));
    return Rows<std::string>(s, [](SqliteStatement& r) { return r.Text(0); });
  }

  Result<void> Check() override {
    auto s = db_.Prepare("PRAGMA integrity_check");
    if (!s) return s.error();
    auto row = s->Step();
    if (!row) return row.error();
    if (!*row || s->Text(0) != "ok")
      return MakeError(ErrorCode::BadData, "База данных повреждена: " + (*row ? s->Text(0) : std::string("?")));
    return {};
  }

 private:
  SqliteStatement& S(Stmt s) {
    auto& st = stmts_[static_cast<std::size_t>(s)];
    st.Reset();
    return st;
  }

  static SqliteStatement& BindRecord(SqliteStatement& s, const RecordRow& r) {
    return s.Bind(1, r.serial)
        .Bind(2, ArchiveName(r.archive))
        .Bind(3, r.period)
        .Bind(4, r.forwardTotal)
        .Bind(5, r.reverseTotal)
        .Bind(6, r.forwardIncrement)
        .Bind(7, r.reverseIncrement)
        .Bind(8, r.flags)
        .Bind(9, std::int64_t{r.valid ? 1 : 0})
        .Bind(10, r.fields)
        .Bind(11, r.readId)
        .Bind(12, r.utcOffsetS)
        .Bind(13, r.raw);
  }

  static RecordRow ReadRecord(SqliteStatement& q, int c) {
    RecordRow r;
    r.serial = q.Text(c);
    r.archive = ArchiveOfName(q.Text(c + 1)).value_or(ArchiveKind::Hourly);
    r.period = q.Text(c + 2);
    r.forwardTotal = q.Real(c + 3);
    r.reverseTotal = q.Real(c + 4);
    if (!q.IsNull(c + 5)) r.forwardIncrement = q.Real(c + 5);
    if (!q.IsNull(c + 6)) r.reverseIncrement = q.Real(c + 6);
    r.flags = q.Int(c + 7);
    r.valid = q.Int(c + 8) != 0;
    r.fields = q.Text(c + 9);
    r.readId = q.Int(c + 10);
    r.utcOffsetS = q.Int(c + 11);
    r.raw = q.Text(c + 12);
    return r;
  }

  template <class T, class F>
  static Result<std::vector<T>> Rows(SqliteStatement& s, F read) {
    std::vector<T> out;
    for (;;) {
      auto row = s.Step();
      if (!row) return row.error();
      if (!*row) break;
      out.push_back(read(s));
    }
    s.Reset();
    return out;
  }

  static Result<std::int64_t> Scalar(SqliteStatement& s) {
    auto row = s.Step();
    if (!row) return row.error();
    const std::int64_t v = *row ? s.Int(0) : 0;
    s.Reset();
    return v;
  }

  static Result<bool> Added(SqliteStatement& s) {
    auto row = s.Step();
    if (!row) return row.error();
    s.Reset();
    return *row;
  }

  SqliteDb db_;
  std::array<SqliteStatement, static_cast<std::size_t>(Stmt::Count)> stmts_;
};

Result<void> Migrate(SqliteDb& db) {
  if (auto r = db.Exec(std::string(sql::kVersionTable)); !r) return r;
  auto s = db.Prepare(sql::kSelectVersion);
  if (!s) return s.error();
  auto row = s->Step();
  if (!row) return row.error();
  const int have = *row ? static_cast<int>(s->Int(0)) : 0;
  s->Reset();
  if (have > sql::kSchemaVersion)
    return MakeError(ErrorCode::BadData, "База данных новее программы: версия схемы " + std::to_string(have));
  for (const auto& step : sql::kSchema) {
    if (step.version <= have) continue;
    if (auto r = db.Exec("BEGIN IMMEDIATE"); !r) return r;
    for (std::size_t i = 0; i < step.count; ++i)
      if (auto r = db.Exec(sql::WithId(step.statements[i], sql::kSqliteId)); !r) {
        (void)db.Exec("ROLLBACK");
        return r;
      }
    auto ins = db.Prepare(sql::kInsertVersion);
    if (!ins) return ins.error();
    if (auto r = ins->Bind(1, std::int64_t{step.version}).Run(); !r) {
      (void)db.Exec("ROLLBACK");
      return r;
    }
    if (auto r = db.Exec("COMMIT"); !r) return r;
  }
  return {};
}

bool AcceptsPath(std::string_view database) { return database.find("://") == std::string_view::npos; }

Result<std::unique_ptr<RecordStore>> OpenFromText(std::string_view database, const std::filesystem::path& home) {
  std::filesystem::path p{std::string(database)};
  if (p.is_relative()) p = home / p;
  return OpenSqliteStore(p);
}

}  // namespace

Result<std::unique_ptr<RecordStore>> OpenSqliteStore(const std::filesystem::path& file) {
  auto db = SqliteDb::Open(file.string());
  if (!db) return db.error();
  // WAL: readers (status, export, the HTTP API) never wait for the writer;
  // NORMAL sync keeps every committed read across a crash of the process.
  if (auto r = db->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON"); !r)
    return r.error();
  if (auto r = Migrate(*db); !r) return r.error();
  auto store = std::make_unique<SqliteStore>(std::move(*db));
  if (auto r = store->Prepare(); !r) return r.error();
  return std::unique_ptr<RecordStore>(std::move(store));
}

StoreBackend SqliteBackend() { return {"sqlite", &AcceptsPath, &OpenFromText}; }

}  // namespace statvtk::store
