#include "store/sql_store.hpp"

#include "store/periods.hpp"

namespace statvtk::store {

namespace {

std::int64_t LimitOf(std::size_t limit) { return limit == 0 ? sql::kNoLimit : static_cast<std::int64_t>(limit); }

// The record columns starting at `c`.
RecordRow RecordAt(const SqlRows& rows, int i, int c) {
  RecordRow r;
  std::string archive;
  rows.Into(i, c, r.serial, archive, r.period, r.forwardTotal, r.reverseTotal, r.forwardIncrement, r.reverseIncrement,
            r.flags, r.valid, r.fields, r.readId, r.utcOffsetS, r.raw);
  r.archive = ArchiveOfName(archive).value_or(ArchiveKind::Hourly);
  return r;
}

FindingRow FindingAt(const SqlRows& rows, int i) {
  FindingRow f;
  std::string kind, archive;
  rows.Into(i, 0, f.id, f.serial, kind, archive, f.period, f.detail, f.readId, f.foundUtc, f.ackedUtc, f.ackedBy);
  f.kind = FindingKindOfName(kind).value_or(FindingKind::TotalDown);
  f.archive = ArchiveOfName(archive);
  return f;
}

}  // namespace

ReadRow ReadAt(const SqlRows& rows, int i, int c) {
  ReadRow r;
  std::string mode, outcome;
  rows.Into(i, c, r.id, r.serial, r.name, r.line, r.startedUtc, r.endedUtc, mode, outcome, r.error, r.requests, r.file,
            r.recovered, r.lost, r.added, r.conflicts, r.origin);
  r.mode = ReadModeOfName(mode).value_or(ReadMode::New);
  r.outcome = ReadOutcomeOfName(outcome);
  return r;
}

Result<SqlRows> SqlStore::Run(const sql::Statement& s, const std::vector<SqlValue>& params) {
  return c_->Run(s.text, params, s.repeat);
}

Result<SqlRows> SqlStore::Run(const SqlQuery& q) { return c_->Run(q.text, q.params, Repeat::Safe); }

Result<int> SqlStore::SchemaVersion() {
  auto rows = c_->Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!rows) return rows.error();
  return rows->Count() ? static_cast<int>(rows->Int(0, 0)) : 0;
}

Result<void> SqlStore::UpsertInstrument(const InstrumentRow& r) {
  return Void(Run(sql::kUpsertInstrument,
                  {SqlText(r.serial), SqlText(r.model), SqlText(r.name), SqlText(r.line), SqlInt(r.address),
                   SqlText(r.firstSeenUtc), SqlText(r.lastReadUtc), r.everyS ? SqlInt(*r.everyS) : SqlValue()}));
}

Result<std::vector<InstrumentRow>> SqlStore::Instruments() {
  return Each<InstrumentRow>(Run(sql::kSelectInstruments, {}), [](const SqlRows& q, int i) {
    InstrumentRow r{q.Text(i, 0), q.Text(i, 1), q.Text(i, 2), q.Text(i, 3),
                    q.Int(i, 4),  q.Text(i, 5), q.Text(i, 6), {}};
    if (!q.IsNull(i, 7)) r.everyS = q.Int(i, 7);
    return r;
  });
}

Result<std::int64_t> SqlStore::StartRead(const ReadStart& s) {
  auto rows = Run(sql::kStartRead, {SqlText(s.serial), SqlText(s.name), SqlText(s.line), SqlText(s.startedUtc),
                                    SqlText(ReadModeName(s.mode)), SqlText(options_.origin)});
  if (!rows) return rows.error();
  return rows->Int(0, 0);
}

Result<void> SqlStore::FinishRead(std::int64_t id, const ReadFinish& f) {
  return Void(Run(sql::kFinishRead, {SqlText(f.serial), SqlText(f.endedUtc), SqlText(ReadOutcomeName(f.outcome)),
                                     SqlText(f.error), SqlInt(f.requests), SqlText(f.file), SqlInt(f.recovered),
                                     SqlInt(f.lost), SqlInt(f.added), SqlInt(f.conflicts), SqlInt(id)}));
}

Result<std::vector<ReadRow>> SqlStore::Reads(const ReadQuery& q) {
  return Each<ReadRow>(Run(ReadsQuery(q)), [](const SqlRows& rows, int i) { return ReadAt(rows, i); });
}

Result<std::vector<RecordRow>> SqlStore::Records(const RecordQuery& q) {
  return Each<RecordRow>(Run(RecordsQuery(q)), [](const SqlRows& rows, int i) {
    RecordRow r = RecordAt(rows, i, 0);
    r.badDate = rows.Int(i, 13) != 0;
    return r;
  });
}

Result<std::vector<std::string>> SqlStore::Periods(const std::string& serial, ArchiveKind archive,
                                                   const std::string& from, const std::string& to) {
  return Each<std::string>(Run(PeriodsQuery(serial, archive, from, to)), TextAt);
}

Result<ArchiveStats> SqlStore::Stats(const std::string& serial, ArchiveKind archive) {
  auto rows = Run(sql::kArchiveStats, {SqlText(serial), SqlText(ArchiveName(archive))});
  if (!rows) return rows.error();
  if (rows->Count() == 0) return ArchiveStats{};
  return ArchiveStats{rows->Int(0, 0), rows->Text(0, 1), rows->Text(0, 2)};
}

Result<std::vector<ConflictRow>> SqlStore::Conflicts(const std::string& serial) {
  return Each<ConflictRow>(Run(ConflictsQuery(serial)), [](const SqlRows& rows, int i) {
    return ConflictRow{rows.Int(i, 0), RecordAt(rows, i, 1), rows.Text(i, 14), rows.Text(i, 15)};
  });
}

Result<void> SqlStore::PutHeader(const HeaderRow& h) {
  return Void(Run(sql::kPutHeader,
                  {SqlInt(h.readId), SqlText(h.serial), SqlText(h.model),
                   SqlText(h.takenUtc.empty() ? UtcNow() : h.takenUtc), SqlInt(h.utcOffsetS), SqlBytes(h.block)}));
}

Result<std::optional<HeaderRow>> SqlStore::NewestHeader(const std::string& serial) {
  auto rows = Run(sql::kNewestHeader, {SqlText(serial)});
  if (!rows) return rows.error();
  if (rows->Count() == 0) return std::optional<HeaderRow>();
  return std::optional<HeaderRow>(HeaderRow{rows->Int(0, 0), rows->Text(0, 1), rows->Text(0, 2), rows->Text(0, 3),
                                            rows->Int(0, 4), rows->Bytes(0, 5)});
}

Result<bool> SqlStore::UpsertEvent(const EventRow& e) {
  auto rows =
      Run(sql::kInsertEvent, {SqlText(e.serial), SqlText(e.time), SqlInt(e.code), SqlText(e.text), SqlInt(e.readId)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<std::vector<EventRow>> SqlStore::Events(const std::string& serial, const std::string& from,
                                               const std::string& to) {
  return Each<EventRow>(Run(EventsQuery(serial, from, to)), [](const SqlRows& rows, int i) {
    return EventRow{rows.Text(i, 0), rows.Text(i, 1), rows.Int(i, 2), rows.Text(i, 3), rows.Int(i, 4)};
  });
}

Result<bool> SqlStore::AddFinding(const FindingRow& f) {
  auto rows = Run(sql::kInsertFinding,
                  {SqlText(f.serial), SqlText(FindingKindName(f.kind)),
                   SqlText(f.archive ? ArchiveName(*f.archive) : std::string_view()), SqlText(f.period),
                   SqlText(f.detail), SqlInt(f.readId), SqlText(f.foundUtc.empty() ? UtcNow() : f.foundUtc)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<std::vector<FindingRow>> SqlStore::Findings(const std::string& serial) {
  return Each<FindingRow>(Run(FindingsQuery(serial)), FindingAt);
}

Result<bool> SqlStore::AckFinding(std::int64_t id, const std::string& by, const std::string& utc) {
  auto rows = Run(sql::kAckFinding, {SqlInt(id), SqlText(utc.empty() ? UtcNow() : utc), SqlText(by)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<std::int64_t> SqlStore::AddCall(const CallRow& c) {
  auto rows =
      Run(sql::kInsertCall, {SqlText(c.origin), SqlText(c.pool), SqlText(c.device), SqlText(c.line), SqlText(c.phone),
                             SqlText(c.dialedUtc), SqlText(c.connectedUtc), SqlText(c.endedUtc), SqlText(c.outcome)});
  if (!rows) return rows.error();
  return rows->Int(0, 0);
}

Result<std::vector<CallRow>> SqlStore::Calls(const std::string& line, std::size_t limit) {
  return Each<CallRow>(Run(CallsQuery(line, LimitOf(limit))), [](const SqlRows& rows, int i) {
    return CallRow{rows.Int(i, 0),  rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3), rows.Text(i, 4),
                   rows.Text(i, 5), rows.Text(i, 6), rows.Text(i, 7), rows.Text(i, 8), rows.Text(i, 9)};
  });
}

Result<std::int64_t> SqlStore::Enqueue(const OutboxMessage& m) {
  auto rows = Run(sql::kEnqueue, {SqlText(m.origin), SqlText(m.topic), SqlText(m.payload), SqlInt(m.qos),
                                  SqlInt(m.retain ? 1 : 0), SqlText(m.createdUtc.empty() ? UtcNow() : m.createdUtc)});
  if (!rows) return rows.error();
  return rows->Int(0, 0);
}

Result<std::vector<OutboxMessage>> SqlStore::Peek(const std::string& origin, std::size_t limit) {
  return Each<OutboxMessage>(
      Run(sql::kPeek, {SqlText(origin), SqlInt(LimitOf(limit))}), [](const SqlRows& rows, int i) {
        return OutboxMessage{
            rows.Int(i, 0),      rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3), static_cast<int>(rows.Int(i, 4)),
            rows.Int(i, 5) != 0, rows.Text(i, 6)};
      });
}

Result<void> SqlStore::Ack(std::int64_t id) { return Void(Run(sql::kAck, {SqlInt(id)})); }

Result<std::int64_t> SqlStore::TrimOutbox(const std::string& origin, std::int64_t keep) {
  auto waiting = Run(sql::kOutboxCount, {SqlText(origin)});
  if (!waiting) return waiting.error();
  std::int64_t over = waiting->Int(0, 0) - keep;
  if (over <= 0) return std::int64_t{0};
  // Superseded retained states first: the newest of each topic says all of them.
  auto superseded = Run(sql::kTrimSupersededOutbox, {SqlText(origin), SqlInt(over)});
  if (!superseded) return superseded.error();
  const auto first = static_cast<std::int64_t>(superseded->Count());
  if ((over -= first) <= 0) return first;
  auto dropped = Run(sql::kTrimOutbox, {SqlText(origin), SqlInt(over)});
  if (!dropped) return dropped.error();
  return first + static_cast<std::int64_t>(dropped->Count());
}

Result<std::int64_t> SqlStore::OutboxSize(const std::string& origin) {
  auto waiting = Run(sql::kOutboxCount, {SqlText(origin)});
  if (!waiting) return waiting.error();
  return waiting->Int(0, 0);
}

Result<void> SqlStore::Check() {
  auto version = SchemaVersion();
  if (!version) return version.error();
  if (*version != sql::kSchemaVersion)
    return MakeError(ErrorCode::StoreSchema, "База данных: версия схемы " + std::to_string(*version) + ", ожидалась " +
                                                 std::to_string(sql::kSchemaVersion));
  if (Backend() != "sqlite") return {};
  auto rows = c_->Run("PRAGMA integrity_check", {}, Repeat::Safe);
  if (!rows) return rows.error();
  if (rows->Count() == 0 || rows->Text(0, 0) != "ok")
    return MakeError(ErrorCode::StoreCorrupt,
                     "База данных повреждена: " + (rows->Count() ? rows->Text(0, 0) : std::string("?")));
  return {};
}

}  // namespace statvtk::store
