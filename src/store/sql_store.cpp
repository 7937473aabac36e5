#include "store/sql_store.hpp"

#include "store/periods.hpp"

namespace statvtk::store {

namespace {

using sql::Stmt;

std::int64_t LimitOf(std::size_t limit) { return limit == 0 ? sql::kNoLimit : static_cast<std::int64_t>(limit); }

std::vector<SqlValue> RecordParams(const RecordRow& r) {
  return {SqlText(r.serial),
          SqlText(ArchiveName(r.archive)),
          SqlText(r.period),
          r.forwardTotal,
          r.reverseTotal,
          SqlReal(r.forwardIncrement),
          SqlReal(r.reverseIncrement),
          SqlInt(r.flags),
          SqlInt(r.valid ? 1 : 0),
          SqlText(r.fields),
          SqlInt(r.readId),
          SqlInt(r.utcOffsetS),
          SqlText(r.raw)};
}

// The record columns starting at `c`.
RecordRow RecordAt(const SqlRows& rows, int i, int c) {
  RecordRow r;
  r.serial = rows.Text(i, c);
  r.archive = ArchiveOfName(rows.Text(i, c + 1)).value_or(ArchiveKind::Hourly);
  r.period = rows.Text(i, c + 2);
  r.forwardTotal = rows.Real(i, c + 3);
  r.reverseTotal = rows.Real(i, c + 4);
  r.forwardIncrement = rows.OptReal(i, c + 5);
  r.reverseIncrement = rows.OptReal(i, c + 6);
  r.flags = rows.Int(i, c + 7);
  r.valid = rows.Int(i, c + 8) != 0;
  r.fields = rows.Text(i, c + 9);
  r.readId = rows.Int(i, c + 10);
  r.utcOffsetS = rows.Int(i, c + 11);
  r.raw = rows.Text(i, c + 12);
  return r;
}

ReadRow ReadAt(const SqlRows& rows, int i) {
  ReadRow r;
  r.id = rows.Int(i, 0);
  r.serial = rows.Text(i, 1);
  r.name = rows.Text(i, 2);
  r.line = rows.Text(i, 3);
  r.startedUtc = rows.Text(i, 4);
  r.endedUtc = rows.Text(i, 5);
  r.mode = ReadModeOfName(rows.Text(i, 6)).value_or(ReadMode::New);
  r.outcome = ReadOutcomeOfName(rows.Text(i, 7));
  r.error = rows.Text(i, 8);
  r.requests = rows.Int(i, 9);
  r.file = rows.Text(i, 10);
  r.recovered = rows.Int(i, 11);
  r.lost = rows.Int(i, 12);
  r.added = rows.Int(i, 13);
  r.conflicts = rows.Int(i, 14);
  return r;
}

FindingRow FindingAt(const SqlRows& rows, int i) {
  FindingRow f;
  f.id = rows.Int(i, 0);
  f.serial = rows.Text(i, 1);
  f.kind = FindingKindOfName(rows.Text(i, 2)).value_or(FindingKind::TotalDown);
  f.archive = ArchiveOfName(rows.Text(i, 3));
  f.period = rows.Text(i, 4);
  f.detail = rows.Text(i, 5);
  f.readId = rows.Int(i, 6);
  f.foundUtc = rows.Text(i, 7);
  return f;
}

// Each row of `rows` made into a T by `at(rows, i)`.
template <class T, class F>
Result<std::vector<T>> Each(Result<SqlRows> rows, F at) {
  if (!rows) return rows.error();
  std::vector<T> out;
  out.reserve(static_cast<std::size_t>(rows->Count()));
  for (int i = 0; i < rows->Count(); ++i) out.push_back(at(*rows, i));
  return out;
}

Result<void> Void(const Result<SqlRows>& r) {
  if (!r) return r.error();
  return {};
}

}  // namespace

Result<SqlRows> SqlStore::Run(Stmt s, const std::vector<SqlValue>& params) {
  return c_->Run(sql::Text(s), params, Repeat::Safe);
}

Result<int> SqlStore::SchemaVersion() {
  auto rows = c_->Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!rows) return rows.error();
  return rows->Count() ? static_cast<int>(rows->Int(0, 0)) : 0;
}

Result<void> SqlStore::UpsertInstrument(const InstrumentRow& r) {
  return Void(Run(Stmt::UpsertInstrument, {SqlText(r.serial), SqlText(r.model), SqlText(r.name), SqlText(r.line),
                                           SqlInt(r.address), SqlText(r.firstSeenUtc), SqlText(r.lastReadUtc)}));
}

Result<std::vector<InstrumentRow>> SqlStore::Instruments() {
  return Each<InstrumentRow>(Run(Stmt::SelectInstruments, {}), [](const SqlRows& q, int i) {
    return InstrumentRow{q.Text(i, 0), q.Text(i, 1), q.Text(i, 2), q.Text(i, 3),
                         q.Int(i, 4),  q.Text(i, 5), q.Text(i, 6)};
  });
}

Result<std::int64_t> SqlStore::StartRead(const ReadStart& s) {
  auto rows = Run(Stmt::StartRead, {SqlText(s.serial), SqlText(s.name), SqlText(s.line), SqlText(s.startedUtc),
                                    SqlText(ReadModeName(s.mode))});
  if (!rows) return rows.error();
  return rows->Int(0, 0);
}

Result<void> SqlStore::FinishRead(std::int64_t id, const ReadFinish& f) {
  return Void(Run(Stmt::FinishRead, {SqlText(f.serial), SqlText(f.endedUtc), SqlText(ReadOutcomeName(f.outcome)),
                                     SqlText(f.error), SqlInt(f.requests), SqlText(f.file), SqlInt(f.recovered),
                                     SqlInt(f.lost), SqlInt(f.added), SqlInt(f.conflicts), SqlInt(id)}));
}

Result<std::vector<ReadRow>> SqlStore::Reads(const ReadQuery& q) {
  return Each<ReadRow>(Run(Stmt::SelectReads,
                           {SqlText(q.serial), SqlText(q.name), SqlInt(q.goodOnly ? 1 : 0), SqlInt(LimitOf(q.limit))}),
                       ReadAt);
}

Result<Upsert> SqlStore::UpsertRecord(const RecordRow& row) {
  auto added = Run(Stmt::InsertRecord, RecordParams(row));
  if (!added) return added.error();
  if (added->Count() > 0) return Upsert::Added;
  auto stored = Run(Stmt::RecordRaw, {SqlText(row.serial), SqlText(ArchiveName(row.archive)), SqlText(row.period)});
  if (!stored) return stored.error();
  const std::string storedRaw = stored->Count() ? stored->Text(0, 0) : std::string();
  if (storedRaw == row.raw) return Upsert::Same;
  auto params = RecordParams(row);
  params.push_back(SqlText(storedRaw));
  if (auto kept = Run(Stmt::InsertConflict, params); !kept) return kept.error();
  return Upsert::Conflict;
}

Result<std::vector<RecordRow>> SqlStore::Records(const RecordQuery& q) {
  return Each<RecordRow>(Run(Stmt::SelectRecords, {SqlText(q.serial), SqlText(ArchiveName(q.archive)), SqlText(q.from),
                                                   SqlText(q.to), SqlInt(LimitOf(q.limit))}),
                         [](const SqlRows& rows, int i) { return RecordAt(rows, i, 0); });
}

Result<std::vector<std::string>> SqlStore::Periods(const std::string& serial, ArchiveKind archive,
                                                   const std::string& from, const std::string& to) {
  return Each<std::string>(
      Run(Stmt::SelectPeriods, {SqlText(serial), SqlText(ArchiveName(archive)), SqlText(from), SqlText(to)}),
      [](const SqlRows& rows, int i) { return rows.Text(i, 0); });
}

Result<ArchiveStats> SqlStore::Stats(const std::string& serial, ArchiveKind archive) {
  auto rows = Run(Stmt::ArchiveStats, {SqlText(serial), SqlText(ArchiveName(archive))});
  if (!rows) return rows.error();
  if (rows->Count() == 0) return ArchiveStats{};
  return ArchiveStats{rows->Int(0, 0), rows->Text(0, 1), rows->Text(0, 2)};
}

Result<std::vector<ConflictRow>> SqlStore::Conflicts(const std::string& serial) {
  return Each<ConflictRow>(Run(Stmt::SelectConflicts, {SqlText(serial)}), [](const SqlRows& rows, int i) {
    return ConflictRow{rows.Int(i, 0), RecordAt(rows, i, 1), rows.Text(i, 14), rows.Text(i, 15)};
  });
}

Result<bool> SqlStore::UpsertEvent(const EventRow& e) {
  auto rows =
      Run(Stmt::InsertEvent, {SqlText(e.serial), SqlText(e.time), SqlInt(e.code), SqlText(e.text), SqlInt(e.readId)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<std::vector<EventRow>> SqlStore::Events(const std::string& serial, const std::string& from,
                                               const std::string& to) {
  return Each<EventRow>(
      Run(Stmt::SelectEvents, {SqlText(serial), SqlText(from), SqlText(to)}), [](const SqlRows& rows, int i) {
        return EventRow{rows.Text(i, 0), rows.Text(i, 1), rows.Int(i, 2), rows.Text(i, 3), rows.Int(i, 4)};
      });
}

Result<bool> SqlStore::AddFinding(const FindingRow& f) {
  auto rows = Run(Stmt::InsertFinding,
                  {SqlText(f.serial), SqlText(FindingKindName(f.kind)),
                   SqlText(f.archive ? ArchiveName(*f.archive) : std::string_view()), SqlText(f.period),
                   SqlText(f.detail), SqlInt(f.readId), SqlText(f.foundUtc.empty() ? UtcNow() : f.foundUtc)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<std::vector<FindingRow>> SqlStore::Findings(const std::string& serial) {
  return Each<FindingRow>(Run(Stmt::SelectFindings, {SqlText(serial)}), FindingAt);
}

Result<std::int64_t> SqlStore::Enqueue(const OutboxMessage& m) {
  auto rows = Run(Stmt::Enqueue, {SqlText(m.origin), SqlText(m.topic), SqlText(m.payload), SqlInt(m.qos),
                                  SqlInt(m.retain ? 1 : 0), SqlText(m.createdUtc.empty() ? UtcNow() : m.createdUtc)});
  if (!rows) return rows.error();
  return rows->Int(0, 0);
}

Result<std::vector<OutboxMessage>> SqlStore::Peek(const std::string& origin, std::size_t limit) {
  return Each<OutboxMessage>(
      Run(Stmt::Peek, {SqlText(origin), SqlInt(LimitOf(limit))}), [](const SqlRows& rows, int i) {
        return OutboxMessage{
            rows.Int(i, 0),      rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3), static_cast<int>(rows.Int(i, 4)),
            rows.Int(i, 5) != 0, rows.Text(i, 6)};
      });
}

Result<void> SqlStore::Ack(std::int64_t id) { return Void(Run(Stmt::Ack, {SqlInt(id)})); }

Result<void> SqlStore::MarkGone(const std::string& serial, ArchiveKind archive, const std::string& period,
                                std::int64_t readId) {
  return Void(Run(Stmt::MarkGone, {SqlText(serial), SqlText(ArchiveName(archive)), SqlText(period), SqlInt(readId)}));
}

Result<std::vector<std::string>> SqlStore::Gone(const std::string& serial, ArchiveKind archive) {
  return Each<std::string>(Run(Stmt::SelectGone, {SqlText(serial), SqlText(ArchiveName(archive))}),
                           [](const SqlRows& rows, int i) { return rows.Text(i, 0); });
}

Result<void> SqlStore::Check() {
  auto version = SchemaVersion();
  if (!version) return version.error();
  if (*version != sql::kSchemaVersion)
    return MakeError(ErrorCode::BadData, "База данных: версия схемы " + std::to_string(*version) + ", ожидалась " +
                                             std::to_string(sql::kSchemaVersion));
  if (Backend() != "sqlite") return {};
  auto rows = c_->Run("PRAGMA integrity_check", {}, Repeat::Safe);
  if (!rows) return rows.error();
  if (rows->Count() == 0 || rows->Text(0, 0) != "ok")
    return MakeError(ErrorCode::BadData,
                     "База данных повреждена: " + (rows->Count() ? rows->Text(0, 0) : std::string("?")));
  return {};
}

Result<void> MigrateSchema(SqlConnection& c) {
  if (auto r = c.Begin(); !r) return r;
  auto fail = [&](Error e) -> Result<void> {
    c.Rollback();
    return e;
  };
  if (auto r = c.LockSchema(); !r) return fail(r.error());
  if (auto r = c.Exec(sql::kVersionTable); !r) return fail(r.error());
  auto current = c.Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!current) return fail(current.error());
  const int have = current->Count() ? static_cast<int>(current->Int(0, 0)) : 0;
  if (have > sql::kSchemaVersion)
    return fail(MakeError(ErrorCode::BadData, "База данных новее программы: версия схемы " + std::to_string(have) +
                                                  ", программа знает " + std::to_string(sql::kSchemaVersion)));
  for (const auto& step : sql::kSchema) {
    if (step.version <= have) continue;
    for (std::size_t i = 0; i < step.count; ++i)
      if (auto r = c.Exec(step.statements[i]); !r) return fail(r.error());
    if (auto r = c.Run(sql::kInsertVersion, {SqlInt(step.version)}, Repeat::Never); !r) return fail(r.error());
  }
  return c.Commit();
}

}  // namespace statvtk::store
