// The record store's schema by version: the statements that made each
// version from the one before, the same for SQLite and PostgreSQL (with the
// SqlDialect tokens) except the few only PostgreSQL needs. A new store runs
// every step from version 1; an older one the steps it lacks.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace statvtk::store::sql {

inline constexpr std::string_view kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)";
inline constexpr std::string_view kSelectVersion = "SELECT MAX(version) FROM schema_version";
inline constexpr std::string_view kInsertVersion = "INSERT INTO schema_version(version) VALUES($1)";

// Version 1, as the first release made it (never changed: the base of every upgrade).
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

// Version 2: each read's header block, counts kept per archive, the
// collector that made a read, indexes for the hot questions, a flag on
// periods that are no calendar date, acknowledged findings, and the tables
// of collectors sharing a database, their line leases and their calls.
inline constexpr std::string_view kSchemaV2[] = {
    "ALTER TABLE reads ADD COLUMN origin TEXT NOT NULL DEFAULT ''",
    "CREATE INDEX reads_done_by_serial ON reads(serial, id) WHERE outcome = 'done'",
    "CREATE INDEX reads_done_by_name ON reads(name, id) WHERE outcome = 'done'",
    "ALTER TABLE instruments ADD COLUMN every_s BIGINT",
    "ALTER TABLE findings ADD COLUMN acked_utc TEXT",
    "ALTER TABLE findings ADD COLUMN acked_by TEXT",
    "CREATE INDEX findings_by_serial ON findings(serial, id)",
    "CREATE INDEX conflicts_by_serial ON record_conflicts(serial, id)",
    "ALTER TABLE records ADD COLUMN bad_date INTEGER NOT NULL DEFAULT 0",
    // An hour, day or month the calendar does not have (the instruments' own
    // check lets a 31st of February through): kept, and flagged.
    "UPDATE records SET bad_date = 1 WHERE substr(period, 6, 2) NOT BETWEEN '01' AND '12' "
    "OR (archive = 'hourly' AND substr(period, 12, 2) NOT BETWEEN '00' AND '23') "
    "OR (archive <> 'monthly' AND substr(period, 9, 2) NOT BETWEEN '01' AND "
    "CASE WHEN substr(period, 6, 2) IN ('04', '06', '09', '11') THEN '30' "
    "WHEN substr(period, 6, 2) <> '02' THEN '31' "
    "WHEN CAST(substr(period, 1, 4) AS INTEGER) % 400 = 0 THEN '29' "
    "WHEN CAST(substr(period, 1, 4) AS INTEGER) % 100 = 0 THEN '28' "
    "WHEN CAST(substr(period, 1, 4) AS INTEGER) % 4 = 0 THEN '29' ELSE '28' END)",
    "CREATE TABLE read_headers(read_id BIGINT PRIMARY KEY, serial TEXT NOT NULL, model TEXT NOT NULL, "
    "taken_utc TEXT NOT NULL, utc_offset_s INTEGER, header {BLOB} NOT NULL)",
    "CREATE INDEX read_headers_by_serial ON read_headers(serial, read_id)",
    "CREATE TABLE archive_stats(serial TEXT NOT NULL, archive TEXT NOT NULL, records BIGINT NOT NULL, "
    "oldest TEXT {BINARY}, newest TEXT {BINARY}, PRIMARY KEY(serial, archive))",
    "INSERT INTO archive_stats(serial, archive, records, oldest, newest) "
    "SELECT serial, archive, COUNT(*), MIN(period), MAX(period) FROM records GROUP BY serial, archive",
    "CREATE TABLE collectors(origin TEXT PRIMARY KEY, host TEXT, pid BIGINT, version TEXT, started_utc TEXT, "
    "seen_utc TEXT)",
    "CREATE TABLE line_leases(line TEXT PRIMARY KEY, origin TEXT NOT NULL, epoch BIGINT NOT NULL, "
    "until_utc TEXT NOT NULL)",
    "CREATE TABLE calls(id {ID}, origin TEXT NOT NULL, pool TEXT, device TEXT, line TEXT, phone TEXT, "
    "dialed_utc TEXT, connected_utc TEXT, ended_utc TEXT, outcome TEXT)",
    "CREATE INDEX calls_by_line ON calls(line, id)",
};
// PostgreSQL only, before the rest of version 2: periods and times compare
// byte by byte (as in SQLite) whatever the database's locale, so that a
// range of periods is the same range everywhere.
inline constexpr std::string_view kSchemaV2Postgres[] = {
    "ALTER TABLE records ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE record_conflicts ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE gone ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE events ALTER COLUMN time TYPE TEXT COLLATE \"C\"",
};

// SQLite only, after the rest of version 2: a SQLite file serves one
// collector, so when its outbox names one origin, that collector made every
// read of version 1.
inline constexpr std::string_view kSchemaV2Sqlite[] = {
    "UPDATE reads SET origin = (SELECT MIN(origin) FROM outbox) WHERE (SELECT COUNT(DISTINCT origin) FROM outbox) = 1",
};

// Version 3: what a read saw of each slot of an archive by its position
// (the image the next read starts from, equal to the meter's memory), gaps
// the meter never wrote as ranges (one row a gap, never one a period), and
// records that are periods of the meter only: a record stored before with a
// failed checksum or a date the calendar has not is moved out to a finding,
// and the archive counts are taken again. The `gone` periods are folded into
// ranges after these statements (store_migrate.cpp), and `gone` dropped.
inline constexpr std::string_view kSchemaV3[] = {
    "CREATE TABLE slots(serial TEXT NOT NULL, archive TEXT NOT NULL, slot INTEGER NOT NULL, raw {BLOB} NOT NULL, "
    "read_id BIGINT, PRIMARY KEY(serial, archive, slot))",
    "CREATE TABLE gaps(serial TEXT NOT NULL, archive TEXT NOT NULL, first_period TEXT {BINARY} NOT NULL, "
    "last_period TEXT {BINARY} NOT NULL, periods BIGINT NOT NULL, read_id BIGINT, "
    "PRIMARY KEY(serial, archive, first_period))",
    "CREATE INDEX gaps_by_last ON gaps(serial, archive, last_period)",
    "INSERT INTO findings(serial, kind, archive, period, detail, read_id, found_utc) "
    "SELECT serial, 'implausible_slot', archive, period, "
    "'Запись не период прибора (' || CASE WHEN valid = 0 THEN 'контрольная сумма не сходится' "
    "ELSE 'дата не календарная' END || '), байты ' || raw, read_id, {NOW} FROM records "
    "WHERE valid = 0 OR bad_date = 1 ON CONFLICT(serial, kind, archive, period) DO NOTHING",
    "DELETE FROM records WHERE valid = 0 OR bad_date = 1",
    "DELETE FROM archive_stats",
    "INSERT INTO archive_stats(serial, archive, records, oldest, newest) "
    "SELECT serial, archive, COUNT(*), MIN(period), MAX(period) FROM records GROUP BY serial, archive",
};

// Version 4: the abnormal situations found in the records, one row a
// situation of an instrument (its source and a flag's or an event's word
// tell apart two of a kind that start in the same hour), open while its
// last hour is unknown.
inline constexpr std::string_view kSchemaV4[] = {
    "CREATE TABLE situations(id {ID}, serial TEXT NOT NULL, kind TEXT NOT NULL, source TEXT NOT NULL, "
    "from_period TEXT {BINARY} NOT NULL, to_period TEXT {BINARY}, hours BIGINT NOT NULL, "
    "detail TEXT NOT NULL DEFAULT '', raised_utc TEXT NOT NULL, cleared_utc TEXT, ack_utc TEXT, ack_by TEXT, "
    "UNIQUE(serial, kind, from_period, detail, source))",
    "CREATE INDEX situations_open ON situations(to_period, serial)",
};

struct SchemaStep {
  int version;
  const std::string_view* statements;
  std::size_t count;
  const std::string_view* postgresFirst = nullptr;  // run before `statements` on PostgreSQL
  std::size_t postgresCount = 0;
  const std::string_view* sqliteAfter = nullptr;  // run after `statements` on SQLite
  std::size_t sqliteCount = 0;
};
inline constexpr std::array<SchemaStep, 4> kSchema{{
    {1, kSchemaV1, std::size(kSchemaV1)},
    {2, kSchemaV2, std::size(kSchemaV2), kSchemaV2Postgres, std::size(kSchemaV2Postgres), kSchemaV2Sqlite,
     std::size(kSchemaV2Sqlite)},
    {3, kSchemaV3, std::size(kSchemaV3)},
    {4, kSchemaV4, std::size(kSchemaV4)},
}};
inline constexpr int kSchemaVersion = 4;

// Indexes a writer makes when it opens the store, if missing, outside the
// versions: they change no table, so a store of the same version made
// before them gets them, and a program that lacks them reads it as before.
inline constexpr std::string_view kIndexesOnOpen[] = {
    "CREATE INDEX IF NOT EXISTS reads_by_started ON reads(started_utc)",  // the read rates by day
};

}  // namespace statvtk::store::sql
