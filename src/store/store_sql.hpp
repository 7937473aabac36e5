// The record store's statements, plain SQL that SQLite (3.35 and later) and
// PostgreSQL both take, with the SqlDialect tokens ({ID}, {BLOB}, {NOW},
// {BINARY}) where they differ. Parameters are $1, $2, ...; the comment of
// each names them in order. Every one is answered from an index by the key
// it names (a test holds SQLite's plans to that).
#pragma once

#include <cstdint>
#include <string_view>

#include "store/sql_connection.hpp"

namespace statvtk::store::sql {

struct Statement {
  std::string_view text;
  Repeat repeat = Repeat::Safe;  // Never: it numbers a new row
};

// The record columns in the order of RecordRow, shared by records and record_conflicts.
#define STATVTK_RECORD_COLUMNS                                                                                  \
  "serial, archive, period, forward_total, reverse_total, forward_increment, reverse_increment, flags, valid, " \
  "fields, read_id, utc_offset_s, raw"
// The read columns in the order of ReadRow.
#define STATVTK_READ_COLUMNS                                                                                \
  "id, serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, file, recovered, lost, " \
  "added, conflicts, origin"

// serial, model, name, line, address, first_seen_utc, last_read_utc ('' keeps), every_s (NULL keeps)
inline constexpr Statement kUpsertInstrument{
    "INSERT INTO instruments(serial, model, name, line, address, first_seen_utc, last_read_utc, every_s) "
    "VALUES($1, $2, $3, $4, $5, $6, NULLIF($7, ''), $8) ON CONFLICT(serial, model) DO UPDATE SET "
    "name = excluded.name, line = excluded.line, address = excluded.address, "
    "last_read_utc = COALESCE(excluded.last_read_utc, instruments.last_read_utc), "
    "every_s = COALESCE(excluded.every_s, instruments.every_s)"};
inline constexpr Statement kSelectInstruments{
    "SELECT serial, model, name, line, address, first_seen_utc, last_read_utc, every_s FROM instruments "
    "ORDER BY line, address, serial"};

// serial, name, line, started_utc, mode, origin -> id
inline constexpr Statement kStartRead{
    "INSERT INTO reads(serial, name, line, started_utc, mode, origin, requests, recovered, lost, added, conflicts) "
    "VALUES($1, $2, $3, $4, $5, $6, 0, 0, 0, 0, 0) RETURNING id",
    Repeat::Never};
// serial ('' keeps), ended, outcome, error, requests, file, recovered, lost, added, conflicts, id
inline constexpr Statement kFinishRead{
    "UPDATE reads SET serial = COALESCE(NULLIF($1, ''), serial), ended_utc = $2, outcome = $3, error = $4, "
    "requests = $5, file = $6, recovered = $7, lost = $8, added = $9, conflicts = $10 WHERE id = $11"};

// the record columns, stored_raw (found_utc: the database's clock) -> a row when new
inline constexpr Statement kInsertConflict{
    "INSERT INTO record_conflicts(" STATVTK_RECORD_COLUMNS
    ", stored_raw, found_utc) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, {NOW}) "
    "ON CONFLICT(serial, archive, period, raw) DO NOTHING RETURNING 1"};
// serial, archive
inline constexpr Statement kArchiveStats{
    "SELECT records, oldest, newest FROM archive_stats WHERE serial = $1 AND archive = $2"};
// serial, archive, records added, their oldest and newest period
inline constexpr Statement kAddArchiveStats{
    "INSERT INTO archive_stats(serial, archive, records, oldest, newest) VALUES($1, $2, $3, $4, $5) "
    "ON CONFLICT(serial, archive) DO UPDATE SET records = archive_stats.records + excluded.records, "
    "oldest = CASE WHEN excluded.oldest < archive_stats.oldest THEN excluded.oldest ELSE archive_stats.oldest END, "
    "newest = CASE WHEN excluded.newest > archive_stats.newest THEN excluded.newest ELSE archive_stats.newest END"};

// read_id, serial, model, taken_utc, utc_offset_s, header
inline constexpr Statement kPutHeader{
    "INSERT INTO read_headers(read_id, serial, model, taken_utc, utc_offset_s, header) "
    "VALUES($1, $2, $3, $4, $5, $6) ON CONFLICT(read_id) DO UPDATE SET serial = excluded.serial, "
    "model = excluded.model, taken_utc = excluded.taken_utc, utc_offset_s = excluded.utc_offset_s, "
    "header = excluded.header"};
// serial
inline constexpr Statement kNewestHeader{
    "SELECT read_id, serial, model, taken_utc, utc_offset_s, header FROM read_headers WHERE serial = $1 "
    "ORDER BY read_id DESC LIMIT 1"};

// serial, time, code, text, read_id -> a row when added
inline constexpr Statement kInsertEvent{
    "INSERT INTO events(serial, time, code, text, read_id) VALUES($1, $2, $3, $4, $5) "
    "ON CONFLICT(serial, time, code) DO NOTHING RETURNING 1"};

// serial, kind, archive ('' none), period, detail, read_id, found_utc -> a row when added
inline constexpr Statement kInsertFinding{
    "INSERT INTO findings(serial, kind, archive, period, detail, read_id, found_utc) "
    "VALUES($1, $2, $3, $4, $5, $6, $7) ON CONFLICT(serial, kind, archive, period) DO NOTHING RETURNING 1"};
// id, acked_utc, acked_by -> a row when it was open
inline constexpr Statement kAckFinding{
    "UPDATE findings SET acked_utc = $2, acked_by = $3 WHERE id = $1 AND acked_utc IS NULL RETURNING id"};

// origin, topic, payload, qos, retain (0/1), created_utc -> id
inline constexpr Statement kInsertCall{
    "INSERT INTO calls(origin, pool, device, line, phone, dialed_utc, connected_utc, ended_utc, outcome) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id",
    Repeat::Never};
inline constexpr Statement kEnqueue{
    "INSERT INTO outbox(origin, topic, payload, qos, retain, created_utc) VALUES($1, $2, $3, $4, $5, $6) "
    "RETURNING id",
    Repeat::Never};
// origin, limit
inline constexpr Statement kPeek{
    "SELECT id, origin, topic, payload, qos, retain, created_utc FROM outbox WHERE origin = $1 "
    "ORDER BY id LIMIT $2"};
// id
inline constexpr Statement kAck{"DELETE FROM outbox WHERE id = $1"};
// origin -> the messages waiting
inline constexpr Statement kOutboxCount{"SELECT COUNT(*) FROM outbox WHERE origin = $1"};
// origin, how many -> the ids dropped: retained messages a newer one of the
// same topic supersedes (the broker keeps only the newest), oldest first.
// Only when the outbox is over its bound: it reads the origin's retained ones.
inline constexpr Statement kTrimSupersededOutbox{
    "DELETE FROM outbox WHERE id IN (SELECT id FROM outbox WHERE origin = $1 AND retain = 1 AND id NOT IN "
    "(SELECT MAX(id) FROM outbox WHERE origin = $1 AND retain = 1 GROUP BY topic) ORDER BY id LIMIT $2) "
    "RETURNING id",
    Repeat::Never};
// origin, how many -> the ids dropped (the oldest not retained)
inline constexpr Statement kTrimOutbox{
    "DELETE FROM outbox WHERE id IN (SELECT id FROM outbox WHERE origin = $1 AND retain = 0 ORDER BY id LIMIT $2) "
    "RETURNING id",
    Repeat::Never};

// Collectors and their line leases. Every time is the database's clock
// ({NOW}), so that hosts whose clocks differ agree on who holds a line.
// origin, host, pid, version
inline constexpr Statement kRegisterCollector{
    "INSERT INTO collectors(origin, host, pid, version, started_utc, seen_utc) VALUES($1, $2, $3, $4, {NOW}, {NOW}) "
    "ON CONFLICT(origin) DO UPDATE SET host = excluded.host, pid = excluded.pid, version = excluded.version, "
    "started_utc = excluded.started_utc, seen_utc = excluded.seen_utc"};
// origin
inline constexpr Statement kSeeCollector{"UPDATE collectors SET seen_utc = {NOW} WHERE origin = $1"};
// seconds seen within to be alive
inline constexpr Statement kCollectors{
    "SELECT origin, host, pid, version, started_utc, seen_utc, "
    "CASE WHEN seen_utc >= {NOW_PLUS(-CAST($1 AS BIGINT))} THEN 1 ELSE 0 END FROM collectors ORDER BY origin"};
// line, origin, ttl seconds -> the new epoch when taken (free: never taken, released or expired)
inline constexpr Statement kTakeLease{
    "INSERT INTO line_leases(line, origin, epoch, until_utc) VALUES($1, $2, 1, {NOW_PLUS(CAST($3 AS BIGINT))}) "
    "ON CONFLICT(line) DO UPDATE SET origin = excluded.origin, epoch = line_leases.epoch + 1, "
    "until_utc = excluded.until_utc WHERE line_leases.until_utc < {NOW} OR line_leases.origin = '' "
    "RETURNING epoch"};
// line, origin, epoch, ttl seconds -> a row while that holder's lease had not expired
inline constexpr Statement kRenewLease{
    "UPDATE line_leases SET until_utc = {NOW_PLUS(CAST($4 AS BIGINT))} "
    "WHERE line = $1 AND origin = $2 AND epoch = $3 AND until_utc >= {NOW} RETURNING epoch"};
// line, origin, epoch (the epoch stays: the next taker bumps it)
inline constexpr Statement kReleaseLease{
    "UPDATE line_leases SET origin = '', until_utc = {NOW} WHERE line = $1 AND origin = $2 AND epoch = $3"};
inline constexpr Statement kLeases{
    "SELECT line, origin, epoch, until_utc, CASE WHEN origin <> '' AND until_utc >= {NOW} THEN 1 ELSE 0 END, "
    "CASE WHEN origin <> '' AND until_utc >= {NOW} THEN 0 ELSE {AGE(until_utc)} END FROM line_leases ORDER BY line"};
// origin, seconds unseen -> the ids moved to origin from the collectors not seen for that long
inline constexpr Statement kAdoptOutbox{
    "UPDATE outbox SET origin = $1 WHERE origin IN (SELECT origin FROM collectors WHERE origin <> $1 "
    "AND seen_utc < {NOW_PLUS(-CAST($2 AS BIGINT))}) RETURNING id"};

// Gaps: runs of periods the meter never wrote or no longer holds, one row a run.
// serial, archive, first, last, periods, read_id
inline constexpr Statement kInsertGap{
    "INSERT INTO gaps(serial, archive, first_period, last_period, periods, read_id) VALUES($1, $2, $3, $4, $5, $6) "
    "ON CONFLICT(serial, archive, first_period) DO UPDATE SET last_period = excluded.last_period, "
    "periods = excluded.periods, read_id = excluded.read_id"};
// serial, archive, first, last: the gaps that overlap [first, last] or touch it
// (first given as the period before, last as the one after)
inline constexpr Statement kGapsTouching{
    "SELECT first_period, last_period, periods FROM gaps WHERE serial = $1 AND archive = $2 "
    "AND last_period >= $3 AND first_period <= $4 ORDER BY first_period"};
// serial, archive, first
inline constexpr Statement kDeleteGap{"DELETE FROM gaps WHERE serial = $1 AND archive = $2 AND first_period = $3"};

// Slots: what a read saw at each position of an archive.
// serial, archive
inline constexpr Statement kSlots{
    "SELECT slot, raw, read_id FROM slots WHERE serial = $1 AND archive = $2 ORDER BY slot"};
// serial, archive, first slot, last slot, the read whose slots stay
inline constexpr Statement kForgetSlots{
    "DELETE FROM slots WHERE serial = $1 AND archive = $2 AND slot >= $3 AND slot <= $4 AND read_id <> $5"};

inline constexpr std::string_view kRecordColumns = STATVTK_RECORD_COLUMNS;
inline constexpr std::string_view kReadColumns = STATVTK_READ_COLUMNS;
#undef STATVTK_RECORD_COLUMNS
#undef STATVTK_READ_COLUMNS

// A limit of 0 ("all") as the statements take it.
inline constexpr std::int64_t kNoLimit = std::int64_t{1} << 62;

}  // namespace statvtk::store::sql
