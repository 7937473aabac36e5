// A store of schema version 1 as the first release left it (its tables, then
// rows as its statements wrote them), and what an upgrade must keep of it:
// shared by the SQLite and the PostgreSQL test of the upgrade.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"
#include "store/store_schema.hpp"

namespace statvtk::store {

// Rows of every table of version 1; one daily period is no calendar date,
// one monthly record failed its checksum; `goneRun` consecutive hours of
// instrument 90000001 from 2030-01-01 00:00 marked gone, a row each.
inline void MakeV1Store(SqlConnection& c, long goneRun = 0) {
  ASSERT_TRUE(c.Exec(sql::kVersionTable));
  for (const auto& statement : sql::kSchemaV1) ASSERT_TRUE(c.Exec(statement)) << statement;
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
