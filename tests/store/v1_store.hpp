// Stores of the older schema versions as their releases left them (their
// tables, then rows as their statements wrote them), and what an upgrade
// must keep of them: shared by the SQLite and the PostgreSQL tests of the
// upgrades. The schemas are written out here as those releases ran them
// (with the connections' dialect tokens {ID}, {BLOB}, {BINARY}), not taken
// from the program: an edit of an old version there is caught, not followed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"
#include "store/store_schema.hpp"

namespace statvtk::store {

namespace frozen {

inline constexpr std::string_view kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)";

// Version 1, as the first release made it.
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

// Version 2, run after version 1 (kSchemaV2Postgres first on PostgreSQL,
// kSchemaV2Sqlite last on SQLite).
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
inline constexpr std::string_view kSchemaV2Postgres[] = {
    "ALTER TABLE records ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE record_conflicts ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE gone ALTER COLUMN period TYPE TEXT COLLATE \"C\"",
    "ALTER TABLE events ALTER COLUMN time TYPE TEXT COLLATE \"C\"",
};
inline constexpr std::string_view kSchemaV2Sqlite[] = {
    "UPDATE reads SET origin = (SELECT MIN(origin) FROM outbox) WHERE (SELECT COUNT(DISTINCT origin) FROM outbox) = 1",
};

// Version 3, as its release made it.
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
    // its release folded `gone` into ranges in code; MakeV1Store's one row here
    "INSERT INTO gaps SELECT serial, archive, period, period, 1, read_id FROM gone",
    "DROP TABLE gone",
};

}  // namespace frozen

// Rows of every table of version 1; one daily period is no calendar date,
// one monthly record failed its checksum; `goneRun` consecutive hours of
// instrument 90000001 from 2030-01-01 00:00 marked gone, a row each.
inline void MakeV1Store(SqlConnection& c, long goneRun = 0) {
  ASSERT_TRUE(c.Exec(frozen::kVersionTable));
  for (const auto& statement : frozen::kSchemaV1) ASSERT_TRUE(c.Exec(statement)) << statement;
  const char* rows[] = {
      "INSERT INTO schema_version(version) VALUES(1)",
      "INSERT INTO instruments VALUES('50179157', 'VTK-08.12', 'boiler', 'north', 3, '2026-12-01T00:00:00Z', "
      "'2026-12-02T01:00:00Z')",
      "INSERT INTO reads(serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, file, "
      "recovered, lost, added, conflicts) VALUES('50179157', 'boiler', 'north', '2026-12-01T00:00:00Z', "
      "'2026-12-01T00:01:00Z', 'full', 'done', '', 4200, 'Data/50179157.vst', 0, 0, 4, 0)",
      "INSERT INTO reads(serial, name, line, started_utc, ended_utc, mode, outcome, error, requests, file, "
      "recovered, lost, added, conflicts) VALUES('50179157', 'boiler', 'north', '2026-12-02T00:00:00Z', "
      "'2026-12-02T00:00:09Z', 'new', 'failed', 'Тайм-аут [2]', 3, '', 0, 0, 0, 1)",
      "INSERT INTO reads(serial, name, line, started_utc, mode, requests, recovered, lost, added, conflicts) "
      "VALUES('', 'pump', 'north', '2026-12-02T01:00:00Z', 'full', 0, 0, 0, 0, 0)",
      "INSERT INTO records VALUES('50179157', 'hourly', '2026-12-01 10:00', 170728.066477, 34.123152, 8.457324, "
      "NULL, 129, 1, '{}', 1, 10800, '00aa')",
      "INSERT INTO records VALUES('50179157', 'daily', '2024-02-31', 1, 0, NULL, NULL, 0, 1, '{}', 1, 10800, '01')",
      "INSERT INTO records VALUES('50179157', 'daily', '2024-02-29', 2, 0, 1, 0, 0, 1, '{}', 1, 10800, '02')",
      "INSERT INTO records VALUES('50179157', 'monthly', '2026-11', 3, 0, 1, 0, 0, 0, '{}', 1, 10800, '03')",
      "INSERT INTO record_conflicts(serial, archive, period, forward_total, reverse_total, forward_increment, "
      "reverse_increment, flags, valid, fields, read_id, utc_offset_s, raw, stored_raw, found_utc) "
      "VALUES('50179157', 'hourly', '2026-12-01 10:00', 7, 0, NULL, NULL, 0, 1, '{}', 2, 10800, 'ff', '00aa', "
      "'2026-12-02T00:00:09Z')",
      "INSERT INTO events VALUES('50179157', '2026-12-01 03:15:00', 5, 'Отключение питания', 1)",
      "INSERT INTO findings(serial, kind, archive, period, detail, read_id, found_utc) VALUES('50179157', "
      "'conflict', 'hourly', '2026-12-01 10:00', 'changed', 2, '2026-12-02T00:00:09Z')",
      "INSERT INTO findings(serial, kind, archive, period, detail, read_id, found_utc) VALUES('50179157', "
      "'clock_off', '', '2026-12-01T00', '7 min', 1, '2026-12-01T00:01:00Z')",
      "INSERT INTO outbox(origin, topic, payload, qos, retain, created_utc) VALUES('site-1', 'statvtk/50179157/read', "
      "'{}', 1, 0, '2026-12-02T00:00:09Z')",
      "INSERT INTO gone VALUES('50179157', 'hourly', '2026-11-30 23:00', 2)",
  };
  for (const char* row : rows) ASSERT_TRUE(c.Exec(row)) << row;
  if (goneRun <= 0) return;
  const std::string n = std::to_string(goneRun - 1);
  const std::string run =
      c.Backend() == "postgresql"
          ? "INSERT INTO gone SELECT '90000001', 'hourly', to_char(timestamp '2030-01-01' + i * interval '1 hour', "
            "'YYYY-MM-DD HH24:00'), 3 FROM generate_series(0, " +
                n + ") i"
          : "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + n +
                ") INSERT INTO gone SELECT '90000001', 'hourly', strftime('%Y-%m-%d %H:00', '2030-01-01', '+' || i || "
                "' hours'), 3 FROM n";
  ASSERT_TRUE(c.Exec(run)) << run;
}

// A store of schema version 2 as its release left one made at version 1
// (MakeV1Store's rows, upgraded by the statements of version 2).
inline void MakeV2Store(SqlConnection& c, long goneRun = 0) {
  MakeV1Store(c, goneRun);
  if (::testing::Test::HasFatalFailure()) return;
  const bool postgres = c.Backend() == "postgresql";
  ASSERT_TRUE(c.Begin());
  if (postgres) {
    for (const auto& statement : frozen::kSchemaV2Postgres) ASSERT_TRUE(c.Exec(statement)) << statement;
  }
  for (const auto& statement : frozen::kSchemaV2) ASSERT_TRUE(c.Exec(statement)) << statement;
  if (!postgres) {
    for (const auto& statement : frozen::kSchemaV2Sqlite) ASSERT_TRUE(c.Exec(statement)) << statement;
  }
  ASSERT_TRUE(c.Exec("INSERT INTO schema_version(version) VALUES(2)"));
  ASSERT_TRUE(c.Commit());
}

// A store of schema version 3 as its release left one made at version 1
// (MakeV2Store's rows, upgraded by the statements of version 3).
inline void MakeV3Store(SqlConnection& c, long goneRun = 0) {
  MakeV2Store(c, goneRun);
  if (::testing::Test::HasFatalFailure()) return;
  ASSERT_TRUE(c.Begin());
  for (const auto& statement : frozen::kSchemaV3) ASSERT_TRUE(c.Exec(statement)) << statement;
  ASSERT_TRUE(c.Exec("INSERT INTO schema_version(version) VALUES(3)"));
  ASSERT_TRUE(c.Commit());
}

// The rows of MakeV1Store read through the store of this version; the
// reads' origin is the one the upgrade could tell.
inline void ExpectV1RowsKept(RecordStore& s, const std::string& origin, long goneRun = 0) {
  EXPECT_EQ(s.SchemaVersion().value(), sql::kSchemaVersion);
  EXPECT_TRUE(s.Check());
  const auto instruments = s.Instruments().value();
  ASSERT_EQ(instruments.size(), 1u);
  EXPECT_EQ(instruments[0].lastReadUtc, "2026-12-02T01:00:00Z");
  EXPECT_FALSE(instruments[0].everyS);

  const auto reads = s.Reads({}).value();
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_FALSE(reads[0].outcome);  // the read the process died in stays unfinished
  EXPECT_EQ(reads[1].error, "Тайм-аут [2]");
  EXPECT_EQ(reads[2].requests, 4200);
  for (const auto& r : reads) EXPECT_EQ(r.origin, origin);

  const auto hourly = s.Records({"50179157", ArchiveKind::Hourly, "", "", 0}).value();
  ASSERT_EQ(hourly.size(), 1u);
  EXPECT_EQ(hourly[0].forwardTotal, 170728.066477);
  EXPECT_EQ(hourly[0].forwardIncrement, 8.457324);
  EXPECT_FALSE(hourly[0].reverseIncrement);
  EXPECT_EQ(hourly[0].flags, 129);
  EXPECT_EQ(hourly[0].raw, "00aa");
  EXPECT_FALSE(hourly[0].badDate);
  // A record that is no period of the meter (no calendar date, a failed
  // checksum) has left the records for a finding with its bytes.
  const auto daily = s.Records({"50179157", ArchiveKind::Daily, "", "", 0}).value();
  ASSERT_EQ(daily.size(), 1u);
  EXPECT_EQ(daily[0].period, "2024-02-29");  // a leap day is a date
  EXPECT_TRUE(s.Records({"50179157", ArchiveKind::Monthly, "", "", 0}).value().empty());

  // The counts taken again from the records.
  const auto stats = s.Stats("50179157", ArchiveKind::Daily).value();
  EXPECT_EQ(stats.records, 1);
  EXPECT_EQ(stats.oldest, "2024-02-29");
  EXPECT_EQ(stats.newest, "2024-02-29");
  EXPECT_EQ(s.Stats("50179157", ArchiveKind::Hourly).value().records, 1);
  EXPECT_EQ(s.Stats("50179157", ArchiveKind::Monthly).value().records, 0);

  const auto conflicts = s.Conflicts("").value();
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_EQ(conflicts[0].storedRaw, "00aa");
  EXPECT_EQ(s.Events("50179157", "", "").value().size(), 1u);
  const auto findings = s.Findings("50179157").value();
  ASSERT_EQ(findings.size(), 4u);
  for (const auto& f : findings) EXPECT_EQ(f.ackedUtc, "");
  int moved = 0;
  for (const auto& f : findings)
    if (f.kind == FindingKind::ImplausibleSlot) {
      ++moved;
      EXPECT_TRUE(f.period == "2024-02-31" || f.period == "2026-11") << f.period;
      EXPECT_NE(f.detail.find(f.period == "2024-02-31" ? "01" : "03"), std::string::npos) << f.detail;
    }
  EXPECT_EQ(moved, 2);
  EXPECT_EQ(s.Peek("site-1", 0).value().size(), 1u);
  // Gone periods are gaps: one row a run, however long.
  const auto gaps = s.Gaps("50179157", ArchiveKind::Hourly, "", "").value();
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].first, "2026-11-30 23:00");
  EXPECT_EQ(gaps[0].count, 1);
  if (goneRun > 0) {
    const auto run = s.Gaps("90000001", ArchiveKind::Hourly, "", "").value();
    ASSERT_EQ(run.size(), 1u);
    EXPECT_EQ(run[0].first, "2030-01-01 00:00");
    EXPECT_EQ(run[0].count, goneRun);
  }
}

}  // namespace statvtk::store
