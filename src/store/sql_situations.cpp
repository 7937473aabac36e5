// The situations table over the SQL connection: a serial's refresh in one
// transaction, the list by a filter, the acknowledgement.
#include <algorithm>
#include <map>
#include <tuple>

#include "store/periods.hpp"
#include "store/situation_sql.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

SituationRow SituationAt(const SqlRows& rows, int i) {
  SituationRow s;
  rows.Into(i, 0, s.id, s.serial, s.kind, s.source, s.fromPeriod, s.toPeriod, s.hours, s.detail, s.raisedUtc,
            s.clearedUtc, s.ackUtc, s.ackBy);
  return s;
}

using SituationKey = std::tuple<std::string, std::string, std::string, std::string>;  // kind, from, detail, source
SituationKey KeyOf(const SituationRow& s) { return {s.kind, s.fromPeriod, s.detail, s.source}; }

SqlValue OptText(const std::optional<std::string>& s) { return s ? SqlText(*s) : SqlValue(); }

// The hours from a situation's first hour to `hour` (1 when `hour` is not after it).
std::int64_t HoursUpTo(const SituationRow& s, const std::string& hour) {
  const auto from = ParsePeriod(ArchiveKind::Hourly, s.fromPeriod);
  const auto to = ParsePeriod(ArchiveKind::Hourly, hour);
  if (!from || !to) return std::max<std::int64_t>(1, s.hours);
  return std::max<std::int64_t>(1, PeriodsBetween(ArchiveKind::Hourly, *from, *to) + 1);
}

// The last hour of a situation no longer found: its hours on from its first.
std::string LastHourOf(const SituationRow& s) {
  const auto from = ParsePeriod(ArchiveKind::Hourly, s.fromPeriod);
  if (!from || s.hours < 1) return s.fromPeriod;
  return PeriodText(ArchiveKind::Hourly, StepPeriod(ArchiveKind::Hourly, *from, static_cast<long>(s.hours - 1)));
}

// The WHERE of a query after `select`.
SqlQuery Filtered(std::string_view select, const SituationQuery& q) {
  SqlQuery s;
  s.Add(select);
  if (!q.serial.empty()) s.Where("serial = ?", {SqlText(q.serial)});
  if (q.anyOfSerials) {
    // Padded to a power of 4 (with "", no instrument's serial), so that a
    // connection keeps few statement texts prepared.
    std::size_t size = 16;
    while (size < q.serials.size()) size *= 4;
    s.Where("serial IN (");
    for (std::size_t i = 0; i < size; ++i) {
      s.params.push_back(SqlText(i < q.serials.size() ? q.serials[i] : std::string()));
      s.text += (i ? ", $" : "$") + std::to_string(s.params.size());
    }
    s.text += ")";
  }
  if (q.openOnly) s.Where("to_period IS NULL");
  if (!q.kind.empty()) s.Where("kind = ?", {SqlText(q.kind)});
  if (!q.since.empty()) s.Where("(to_period IS NULL OR to_period >= ?)", {SqlText(q.since)});
  return s;
}

}  // namespace

SqlQuery SituationsQuery(const SituationQuery& q) {
  SqlQuery s = Filtered("SELECT " STATVTK_SITUATION_COLUMNS " FROM situations", q);
  s.Add(q.openFirst ? " ORDER BY CASE WHEN to_period IS NULL THEN 0 ELSE 1 END, from_period DESC, id DESC"
                    : " ORDER BY id DESC");
  if (q.limit > 0) s.Add(" LIMIT ? OFFSET ?", {SqlInt(q.limit), SqlInt(q.offset)});
  return s;
}

SqlQuery SituationCountQuery(const SituationQuery& q) { return Filtered("SELECT COUNT(*) FROM situations", q); }

Result<std::vector<SituationRow>> SqlStore::Situations(const SituationQuery& query) {
  return Each<SituationRow>(Run(SituationsQuery(query)), SituationAt);
}

Result<std::int64_t> SqlStore::CountSituations(const SituationQuery& query) {
  auto rows = Run(SituationCountQuery(query));
  if (!rows) return rows.error();
  return rows->Count() ? rows->Int(0, 0) : 0;
}

Result<void> SqlStore::CloseSituation(SituationRow closed, const std::string& now, SituationChanges& changes) {
  closed.clearedUtc = now;
  auto updated =
      Run(sql::kUpdateSituation, {SqlInt(closed.id), OptText(closed.toPeriod), SqlInt(closed.hours), SqlText(now)});
  if (!updated) return updated.error();
  changes.closed.push_back(std::move(closed));
  return {};
}

Result<bool> SqlStore::AckSituation(std::int64_t id, const std::string& by, const std::string& utc) {
  auto rows = Run(sql::kAckSituation, {SqlInt(id), SqlText(utc.empty() ? UtcNow() : utc), SqlText(by)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<SituationChanges> SqlStore::PutSituations(const std::string& serial, std::span<const SituationRow> found,
                                                 const std::string& utc) {
  const std::string now = utc.empty() ? UtcNow() : utc;
  std::string oldest = "9999";
  for (const auto& f : found) oldest = std::min(oldest, f.fromPeriod);
  return InTransaction([&]() -> Result<SituationChanges> {
    auto stored = Each<SituationRow>(Run(sql::kSituationsOfSerial, {SqlText(serial), SqlText(oldest)}), SituationAt);
    if (!stored) return stored.error();
    std::map<SituationKey, const SituationRow*> byKey;
    for (const auto& s : *stored)
      if (s.source != kCollectorSource) byKey[KeyOf(s)] = &s;  // the collector's own are not the analysis's
    SituationChanges changes;
    for (const auto& f : found) {
      SituationRow row = f;
      row.serial = serial;
      const auto it = byKey.find(KeyOf(row));
      if (it == byKey.end()) {
        row.raisedUtc = now;
        row.clearedUtc = row.Open() ? "" : now;
        auto added =
            Run(sql::kInsertSituation, {SqlText(serial), SqlText(row.kind), SqlText(row.source),
                                        SqlText(row.fromPeriod), OptText(row.toPeriod), SqlInt(row.hours),
                                        SqlText(row.detail), SqlText(now), row.Open() ? SqlValue() : SqlText(now)});
        if (!added) return added.error();
        if (added->Count() == 0) continue;  // another collector put it first
        row.id = added->Int(0, 0);
        if (row.Open()) changes.opened.push_back(std::move(row));
        continue;
      }
      const SituationRow& was = *it->second;
      byKey.erase(it);
      if (!was.Open()) continue;  // it ended before: kept as it ended
      auto updated = Run(sql::kUpdateSituation, {SqlInt(was.id), OptText(row.toPeriod), SqlInt(row.hours),
                                                 row.Open() ? SqlValue() : SqlText(now)});
      if (!updated) return updated.error();
      if (row.Open()) continue;
      SituationRow closed = was;
      closed.toPeriod = row.toPeriod;
      closed.hours = row.hours;
      closed.clearedUtc = now;
      changes.closed.push_back(std::move(closed));
    }
    // Open ones the analysis no longer finds: ended at their last hour known.
    for (const auto& [key, was] : byKey) {
      if (!was->Open()) continue;
      SituationRow closed = *was;
      closed.toPeriod = LastHourOf(closed);
      if (auto done = CloseSituation(std::move(closed), now, changes); !done) return done.error();
    }
    return changes;
  });
}

Result<SituationChanges> SqlStore::RaiseSituation(const SituationRow& row, const std::string& utc) {
  const std::string now = utc.empty() ? UtcNow() : utc;
  return InTransaction([&]() -> Result<SituationChanges> {
    SituationChanges changes;
    if (row.Open()) {
      auto open = Each<SituationRow>(
          Run(sql::kOpenSituationsOfKind, {SqlText(row.serial), SqlText(row.kind), SqlText(row.source)}), SituationAt);
      if (!open) return open.error();
      for (const auto& was : *open) {
        if (was.detail != row.detail) continue;
        auto updated = Run(sql::kUpdateSituation,
                           {SqlInt(was.id), SqlValue(), SqlInt(HoursUpTo(was, row.fromPeriod)), SqlValue()});
        if (!updated) return updated.error();
        return changes;  // raised before: it goes on
      }
    }
    auto added = Run(sql::kInsertSituation,
                     {SqlText(row.serial), SqlText(row.kind), SqlText(row.source), SqlText(row.fromPeriod),
                      OptText(row.toPeriod), SqlInt(std::max<std::int64_t>(1, row.hours)), SqlText(row.detail),
                      SqlText(now), row.Open() ? SqlValue() : SqlText(now)});
    if (!added) return added.error();
    if (added->Count() == 0 || !row.Open()) return changes;
    SituationRow opened = row;
    opened.id = added->Int(0, 0);
    opened.hours = std::max<std::int64_t>(1, row.hours);
    opened.raisedUtc = now;
    changes.opened.push_back(std::move(opened));
    return changes;
  });
}

Result<SituationChanges> SqlStore::ClearSituations(const std::string& serial, const std::string& kind,
                                                   const std::string& source, const std::string& lastHour,
                                                   const std::string& utc) {
  const std::string now = utc.empty() ? UtcNow() : utc;
  return InTransaction([&]() -> Result<SituationChanges> {
    auto open = Each<SituationRow>(Run(sql::kOpenSituationsOfKind, {SqlText(serial), SqlText(kind), SqlText(source)}),
                                   SituationAt);
    if (!open) return open.error();
    SituationChanges changes;
    for (const auto& was : *open) {
      SituationRow closed = was;
      closed.toPeriod = std::max(lastHour, was.fromPeriod);
      closed.hours = HoursUpTo(was, *closed.toPeriod);
      if (auto done = CloseSituation(std::move(closed), now, changes); !done) return done.error();
    }
    return changes;
  });
}

}  // namespace statvtk::store
