// The SQL text of the record store: the schema by version and every statement,
// plain SQL that SQLite (3.35 and later) and PostgreSQL both take. Parameters
// are $1, $2, ... in order of first use; each backend binds them by number.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace statvtk::store::sql {

// Words the backends spell differently are tokens (SqlDialect): {ID} a column
// that numbers new rows, {BLOB} bytes, {NOW} the database's clock as text.

// The schema_version table, then each version's statements in order.
inline constexpr std::string_view kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)";
inline constexpr std::string_view kSelectVersion = "SELECT MAX(version) FROM schema_version";
inline constexpr std::string_view kInsertVersion = "INSERT INTO schema_version(version) VALUES($1)";

inline constexpr std::string_view kSchemaV1[] = {
    "CREATE TABLE instruments(serial TEXT NOT NULL, model TEXT NOT NULL, name TEXT, line TEXT, "
    "address INTEGER, first_seen_utc TEXT, last_read_utc TEXT, PRIMARY KEY(serial, model))",
    "CREATE TABLE reads(id {ID}, serial TEXT, name TEXT, line TEXT, started_utc TEXT, ended_utc TEXT, "
    "mode TEXT, outcome TEXT, error TEXT, requests BIGINT, file TEXT, recovered BIGINT, lost BIGINT, "
    "added BIGINT, conflicts BIGINT)",
    "CREATE INDEX reads_by_serial ON reads(serial, id)",
    "CREATE INDEX reads_by_name ON reads(name, id)",
    "CREATE TABLE records(serial TEXT NOT NULL, archive TEXT NOT NULL, period TEXT NOT NULL, "
    "forward_total DOUBLE PRECISION, reverse_total DOUBLE PRECISION, forward_increment DOUBLE PRECISION, "
    "reverse_increment DOUBLE PRECISION, flags BIGINT, valid INTEGER, fields TEXT, read_id BIGINT, "
    "utc_offset_s INTEGER, raw TEXT, PRIMARY KEY(serial, archive, period))",
    "CREATE TABLE record_conflicts(id {ID}, serial TEXT NOT NULL, archive TEXT NOT NULL, "
    "period TEXT NOT NULL, forward_total DOUBLE PRECISION, reverse_total DOUBLE PRECISION, "
    "forward_increment DOUBLE PRECISION, reverse_increment DOUBLE PRECISION, flags BIGINT, valid INTEGER, "
    "fields TEXT, read_id BIGINT, utc_offset_s INTEGER, raw TEXT NOT NULL, stored_raw TEXT, found_utc TEXT, "
    "UNIQUE(serial, archive, period, raw))",
    "CREATE TABLE events(serial TEXT NOT NULL, time TEXT NOT NULL, code BIGINT NOT NULL, text TEXT, "
    "read_id BIGINT, PRIMARY KEY(serial, time, code))",
    "CREATE TABLE findings(id {ID}, serial TEXT NOT NULL, kind TEXT NOT NULL, archive TEXT NOT NULL, "
    "period TEXT NOT NULL, detail TEXT, read_id BIGINT, found_utc TEXT, UNIQUE(serial, kind, archive, period))",
    "CREATE TABLE outbox(id {ID}, origin TEXT NOT NULL, topic TEXT NOT NULL, payload TEXT NOT NULL, "
    "qos INTEGER, retain INTEGER, created_utc TEXT)",
    "CREATE INDEX outbox_by_origin ON outbox(origin, id)",
    "CREATE TABLE gone(serial TEXT NOT NULL, archive TEXT NOT NULL, period TEXT NOT NULL, read_id BIGINT, "
    "PRIMARY KEY(serial, archive, period))",
};

struct SchemaStep {
  int version;
  const std::string_view* statements;
  std::size_t count;
};
inline constexpr std::array<SchemaStep, 1> kSchema{{{1, kSchemaV1, std::size(kSchemaV1)}}};
inline constexpr int kSchemaVersion = 1;

// Every statement the backends prepare, by name. The column lists of the
// SELECTs are the order the backends read them in.
enum class Stmt : std::size_t {
  UpsertInstrument,
  SelectInstruments,
  StartRead,
  FinishRead,
  SelectReads,
  InsertRecord,
  RecordRaw,
  InsertConflict,
  SelectRecords,
  SelectPeriods,
  ArchiveStats,
  SelectConflicts,
  InsertEvent,
  SelectEvents,
  InsertFinding,
  SelectFindings,
  Enqueue,
  Peek,
  Ack,
  MarkGone,
  SelectGone,
  Count
};

// The record columns in the order of RecordRow, shared by records and record_conflicts.
#define STATVTK_RECORD_COLUMNS                                                                                  \
  "serial, archive, period, forward_total, reverse_total, forward_increment, reverse_increment, flags, valid, " \
  "fields, read_id, utc_offset_s, raw"

inline constexpr std::array<std::string_view, static_cast<std::size_t>(Stmt::Count)> kStatements{
    // UpsertInstrument: serial, model, name, line, address, first_seen_utc, last_read_utc ('' keeps)
    "INSERT INTO instruments(serial, model, name, line, address, first_seen_utc, last_read_utc) "
    "VALUES($1, $2, $3, $4, $5, $6, NULLIF($7, '')) ON CONFLICT(serial, model) DO UPDATE SET "
    "name = excluded.name, line = excluded.line, address = excluded.address, "
    "last_read_utc = COALESCE(excluded.last_read_utc, instruments.last_read_utc)",
    // SelectInstruments
    "SELECT serial, model, name, line, address, first_seen_utc, last_read_utc FROM instruments "
    "ORDER BY line, address, serial",
    // StartRead: serial, name, line, started_utc, mode -> id
    "INSERT INTO reads(serial, name, line, started_utc, mode, requests, recovered, lost, added, conflicts) "
    "VALUES($1, $2, $3, $4, $5, 0, 0, 0, 0, 0) RETURNING id",
    // FinishRead: serial ('' keeps), ended, outcome, error, requests, file, recovered, lost, added, conflicts, id
    "UPDATE reads SET serial = COALESCE(NULLIF($1, ''), serial), ended_utc = $2, outcome = $3, error = $4, "
    "requests = $5, file = $6, recovered = $7, lost = $8, added = $9, conflicts = $10 WHERE id = $11",
    // SelectReads: serial ('' any), name ('' any), good only (0/1), limit
    "SELECT id, serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, file, recovered, "
    "lost, added, conflicts FROM reads WHERE ($1 = '' OR serial = $1) AND ($2 = '' OR name = $2) "
    "AND ($3 = 0 OR outcome = 'done') ORDER BY id DESC LIMIT $4",
    // InsertRecord: the record columns -> a row when added
    "INSERT INTO records(" STATVTK_RECORD_COLUMNS
    ") VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13) "
    "ON CONFLICT(serial, archive, period) DO NOTHING RETURNING 1",
    // RecordRaw: serial, archive, period
    "SELECT raw FROM records WHERE serial = $1 AND archive = $2 AND period = $3",
    // InsertConflict: the record columns, stored_raw (found_utc: the database's clock)
    "INSERT INTO record_conflicts(" STATVTK_RECORD_COLUMNS
    ", stored_raw, found_utc) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, {NOW}) "
    "ON CONFLICT(serial, archive, period, raw) DO NOTHING",
    // SelectRecords: serial, archive, from ('' open), to ('' open), limit
    "SELECT " STATVTK_RECORD_COLUMNS
    " FROM records WHERE serial = $1 AND archive = $2 AND ($3 = '' OR period >= $3) "
    "AND ($4 = '' OR period <= $4) ORDER BY period LIMIT $5",
    // SelectPeriods: serial, archive, from, to
    "SELECT period FROM records WHERE serial = $1 AND archive = $2 AND ($3 = '' OR period >= $3) "
    "AND ($4 = '' OR period <= $4) ORDER BY period",
    // ArchiveStats: serial, archive
    "SELECT COUNT(*), MIN(period), MAX(period) FROM records WHERE serial = $1 AND archive = $2",
    // SelectConflicts: serial ('' any)
    "SELECT id, " STATVTK_RECORD_COLUMNS
    ", stored_raw, found_utc FROM record_conflicts WHERE ($1 = '' OR serial = $1) ORDER BY id DESC",
    // InsertEvent: serial, time, code, text, read_id -> a row when added
    "INSERT INTO events(serial, time, code, text, read_id) VALUES($1, $2, $3, $4, $5) "
    "ON CONFLICT(serial, time, code) DO NOTHING RETURNING 1",
    // SelectEvents: serial, from, to
    "SELECT serial, time, code, text, read_id FROM events WHERE serial = $1 AND ($2 = '' OR time >= $2) "
    "AND ($3 = '' OR time <= $3) ORDER BY time, code",
    // InsertFinding: serial, kind, archive ('' none), period, detail, read_id, found_utc -> a row when added
    "INSERT INTO findings(serial, kind, archive, period, detail, read_id, found_utc) "
    "VALUES($1, $2, $3, $4, $5, $6, $7) ON CONFLICT(serial, kind, archive, period) DO NOTHING RETURNING 1",
    // SelectFindings: serial ('' any)
    "SELECT id, serial, kind, archive, period, detail, read_id, found_utc FROM findings "
    "WHERE ($1 = '' OR serial = $1) ORDER BY id DESC",
    // Enqueue: origin, topic, payload, qos, retain (0/1), created_utc -> id
    "INSERT INTO outbox(origin, topic, payload, qos, retain, created_utc) VALUES($1, $2, $3, $4, $5, $6) "
    "RETURNING id",
    // Peek: origin, limit
    "SELECT id, origin, topic, payload, qos, retain, created_utc FROM outbox WHERE origin = $1 "
    "ORDER BY id LIMIT $2",
    // Ack: id
    "DELETE FROM outbox WHERE id = $1",
    // MarkGone: serial, archive, period, read_id
    "INSERT INTO gone(serial, archive, period, read_id) VALUES($1, $2, $3, $4) "
    "ON CONFLICT(serial, archive, period) DO NOTHING",
    // SelectGone: serial, archive
    "SELECT period FROM gone WHERE serial = $1 AND archive = $2 ORDER BY period",
};
#undef STATVTK_RECORD_COLUMNS

inline constexpr std::string_view Text(Stmt s) { return kStatements[static_cast<std::size_t>(s)]; }

// A limit of 0 ("all") as the statements take it.
inline constexpr long long kNoLimit = 1LL << 62;

}  // namespace statvtk::store::sql
