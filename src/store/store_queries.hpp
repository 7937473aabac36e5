// The store's statements whose form depends on the call: a serial given or
// not, a range open or closed, a batch of rows. Each form is a text of its
// own (prepared once per text), so that every one can use its index, which
// a single text such as "($1 = '' OR serial = $1)" keeps the planner from.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"

namespace statvtk::store {

struct SqlQuery {
  std::string text;
  std::vector<SqlValue> params;

  // Appends `clause`; each '?' in it becomes the next $N and takes the next of `values`.
  SqlQuery& Add(std::string_view clause, std::initializer_list<SqlValue> values = {});
  // " WHERE condition" the first time, " AND condition" after.
  SqlQuery& Where(std::string_view condition, std::initializer_list<SqlValue> values = {});

 private:
  bool where_ = false;
};

SqlQuery ReadsQuery(const ReadQuery& q);
SqlQuery RecordsQuery(const RecordQuery& q);
// The held periods of [from, to] (empty bounds open), in order.
SqlQuery PeriodsQuery(const std::string& serial, ArchiveKind archive, const std::string& from, const std::string& to);
// The gaps that overlap [from, to] (empty bounds open), in order.
SqlQuery GapsQuery(const std::string& serial, ArchiveKind archive, const std::string& from, const std::string& to);
// Slots in one upsert (serial, then archive, slot, raw, read_id of each).
SqlQuery PutSlotsQuery(const std::string& serial, std::span<const SlotRow* const> slots);
SqlQuery EventsQuery(const std::string& serial, const std::string& from, const std::string& to);
SqlQuery FindingsQuery(const std::string& serial);                 // "" : all
SqlQuery CallsQuery(const std::string& line, std::int64_t limit);  // "" : all
SqlQuery ConflictsQuery(const std::string& serial);                // "" : all

// The stored period and raw of the given periods of one archive.
SqlQuery StoredRawQuery(const std::string& serial, ArchiveKind archive, std::span<const std::string* const> periods);
// Records (their columns and bad_date) in one INSERT; it gives the period of each one added.
SqlQuery InsertRecordsQuery(std::span<const RecordRow* const> rows);
// Events in one INSERT; it gives a row for each one added.
SqlQuery InsertEventsQuery(std::span<const EventRow* const> rows);

// The fleet's summaries: every instrument with its newest read and newest
// good read; the stored records of each instrument in a window of one
// archive (archive, from, to); the findings (all, open) and the conflicts
// counted per serial.
std::string SummaryInstrumentsSql();

// The read runs of `names` (ReadRun) in one statement: per name, in order,
// the reads after its last good one, the newest failed or cut off (its read
// columns) and the id of its newest read.
SqlQuery ReadRunsQuery(std::span<const ReadRunKey> keys);

// Header retention (cutoff UTC): removes the headers older than the cutoff
// but the last of each serial and day, and the newest of each serial.
inline constexpr std::string_view kPruneHeadersSql =
    "DELETE FROM read_headers WHERE taken_utc < $1 AND read_id NOT IN "
    "(SELECT MAX(read_id) FROM read_headers GROUP BY serial, substr(taken_utc, 1, 10)) AND read_id NOT IN "
    "(SELECT MAX(read_id) FROM read_headers GROUP BY serial)";
inline constexpr std::string_view kSummaryHeldSql =
    "SELECT serial, COUNT(*) FROM records WHERE serial IN (SELECT serial FROM instruments) AND archive = $1 "
    "AND period >= $2 AND period <= $3 GROUP BY serial";
inline constexpr std::string_view kSummaryStatsSql =
    "SELECT serial, archive, records, oldest, newest FROM archive_stats";
// Per serial and archive, the periods of the gaps strictly inside the held
// span (one pass over `gaps`: a row a gap).
inline constexpr std::string_view kSummaryGoneSql =
    "SELECT gaps.serial, gaps.archive, SUM(gaps.periods) FROM gaps JOIN archive_stats s ON s.serial = gaps.serial "
    "AND s.archive = gaps.archive WHERE gaps.first_period > s.oldest AND gaps.last_period < s.newest "
    "GROUP BY gaps.serial, gaps.archive";
inline constexpr std::string_view kSummaryFindingsSql =
    "SELECT serial, COUNT(*), SUM(CASE WHEN acked_utc IS NULL THEN 1 ELSE 0 END) FROM findings GROUP BY serial";
inline constexpr std::string_view kSummaryConflictsSql =
    "SELECT serial, COUNT(*) FROM record_conflicts GROUP BY serial";

// fromUtc: the reads started since, per line (0) and per modem pool (1) and
// UTC day, and how many ended well; through reads_by_started, so that it
// reads the days asked for and not the whole history.
inline constexpr std::string_view kReadsByDaySql =
    "SELECT 0, line, substr(started_utc, 1, 10), COUNT(*), SUM(CASE WHEN outcome = 'done' THEN 1 ELSE 0 END) "
    "FROM reads WHERE started_utc >= $1 GROUP BY line, substr(started_utc, 1, 10) "
    "UNION ALL SELECT 1, p.pool, substr(r.started_utc, 1, 10), COUNT(*), "
    "SUM(CASE WHEN r.outcome = 'done' THEN 1 ELSE 0 END) FROM reads r JOIN (SELECT DISTINCT line, pool FROM calls "
    "WHERE pool IS NOT NULL AND pool <> '' AND dialed_utc >= $1) p ON p.line = r.line "
    "WHERE r.started_utc >= $1 GROUP BY p.pool, substr(r.started_utc, 1, 10)";

// How many rows go into one statement of a batch of `left` more: a few
// fixed sizes, so that a batch of any length takes few statement texts.
std::size_t BatchChunk(std::size_t left);

// The period is none the calendar has (an instrument's own check lets "31.02" through).
bool BadDate(ArchiveKind archive, std::string_view period);

}  // namespace statvtk::store
