#include "store/analyst_views.hpp"

#include <string>

#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

// One archive's records with their period's start as a moment: the period is
// the instrument's own time, utc_offset_s the PC's offset from UTC at the
// read. The CASE keeps the cast away from a flagged period, whatever order
// the planner gives the conditions.
std::string ConsumptionView(const char* name, const char* archive) {
  return std::string("CREATE OR REPLACE VIEW ") + name +
         " AS SELECT r.serial, i.name, i.line, r.period, "
         "CASE WHEN r.bad_date = 0 THEN (CAST(r.period AS timestamp) - make_interval(secs => "
         "COALESCE(r.utc_offset_s, 0))) AT TIME ZONE 'UTC' END AS period_start, "
         "r.forward_total, r.reverse_total, r.forward_increment, r.reverse_increment, "
         "r.forward_increment - COALESCE(r.reverse_increment, 0) AS net_increment, r.flags, "
         "r.valid <> 0 AS valid, CAST(r.fields AS jsonb) AS fields, r.utc_offset_s, r.read_id "
         "FROM records r LEFT JOIN LATERAL (SELECT name, line FROM instruments n WHERE n.serial = r.serial "
         "ORDER BY n.last_read_utc DESC NULLS LAST LIMIT 1) i ON true "
         "WHERE r.archive = '" +
         archive + "' AND r.bad_date = 0";
}

// The runs of periods missing between two held records of an instrument
// (hourly and daily): the first missing period's start, the start of the
// next held one, and how many are missing.
constexpr const char* kGapsView =
    "CREATE OR REPLACE VIEW record_gaps AS "
    "SELECT serial, name, line, archive, period_start + step AS gap_start, next_start AS gap_end, "
    "CAST(EXTRACT(EPOCH FROM next_start - period_start) / EXTRACT(EPOCH FROM step) AS BIGINT) - 1 AS missing "
    "FROM (SELECT serial, name, line, archive, step, period_start, "
    "LEAD(period_start) OVER (PARTITION BY serial, archive ORDER BY period_start) AS next_start FROM ("
    "SELECT serial, name, line, 'hourly' AS archive, interval '1 hour' AS step, period_start "
    "FROM hourly_consumption UNION ALL "
    "SELECT serial, name, line, 'daily', interval '1 day', period_start FROM daily_consumption) a) held "
    "WHERE next_start - period_start > step";

}  // namespace

Result<void> DropAnalystViewsForUpgrade(SqlConnection& c) {
  auto current = c.Run(sql::kSelectVersion, {}, Repeat::Safe);
  if (!current || !current->Count() || current->Int(0, 0) >= sql::kSchemaVersion) return {};  // new, or up to date
  for (auto it = std::rbegin(kAnalystViews); it != std::rend(kAnalystViews); ++it)
    if (auto r = c.Exec("DROP VIEW IF EXISTS " + std::string(*it)); !r) return r;
  return {};
}

Result<void> CreateAnalystViews(SqlConnection& c) {
  if (auto r = c.Begin(); !r) return r;
  // Collectors opening one database together replace the views in turn.
  Result<void> made = c.LockSchema();
  if (made) made = c.Exec(ConsumptionView("hourly_consumption", "hourly"));
  if (made) made = c.Exec(ConsumptionView("daily_consumption", "daily"));
  if (made) made = c.Exec(kGapsView);
  if (!made) {
    c.Rollback();
    return made;
  }
  return c.Commit();
}

}  // namespace statvtk::store
