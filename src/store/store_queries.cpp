#include "store/store_queries.hpp"

#include "store/periods.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store {

namespace {

std::int64_t LimitOf(std::size_t limit) { return limit == 0 ? sql::kNoLimit : static_cast<std::int64_t>(limit); }

// "(?, ?, ?)" for `n` values.
std::string Tuple(std::size_t n) {
  std::string s = "(";
  for (std::size_t i = 0; i < n; ++i) s += i ? ", ?" : "?";
  return s + ")";
}

// An insert of many rows: `head`, each row's "(?, ...)" of `columns` values
// (`add(query, tuple, row)` puts them in), then `tail`.
template <class Row, class AddRow>
SqlQuery InsertRows(std::string_view head, std::size_t columns, std::span<const Row* const> rows, AddRow add,
                    std::string_view tail) {
  SqlQuery s;
  s.Add(head);
  const std::string tuple = Tuple(columns);
  for (std::size_t i = 0; i < rows.size(); ++i) add(s.Add(i ? ", " : ""), tuple, *rows[i]);
  return s.Add(tail);
}

SqlQuery& Range(SqlQuery& q, std::string_view column, const std::string& from, const std::string& to) {
  if (!from.empty()) q.Where(std::string(column) + " >= ?", {SqlText(from)});
  if (!to.empty()) q.Where(std::string(column) + " <= ?", {SqlText(to)});
  return q;
}

}  // namespace

SqlQuery& SqlQuery::Add(std::string_view clause, std::initializer_list<SqlValue> values) {
  auto value = values.begin();
  for (const char c : clause) {
    if (c != '?' || value == values.end()) {
      text += c;
      continue;
    }
    params.push_back(*value++);
    text += "$" + std::to_string(params.size());
  }
  return *this;
}

SqlQuery& SqlQuery::Where(std::string_view condition, std::initializer_list<SqlValue> values) {
  Add(where_ ? " AND " : " WHERE ");
  where_ = true;
  return Add(condition, values);
}

SqlQuery ReadsQuery(const ReadQuery& q) {
  SqlQuery s;
  s.Add("SELECT ").Add(sql::kReadColumns).Add(" FROM reads");
  if (!q.serial.empty()) s.Where("serial = ?", {SqlText(q.serial)});
  if (!q.name.empty()) s.Where("name = ?", {SqlText(q.name)});
  if (q.goodOnly) s.Where("outcome = 'done'");
  if (!q.line.empty()) s.Where("line = ?", {SqlText(q.line)});
  if (q.origin) s.Where("(origin = ? OR origin = '')", {SqlText(*q.origin)});
  return s.Add(" ORDER BY id DESC LIMIT ?", {SqlInt(LimitOf(q.limit))});
}

SqlQuery RecordsQuery(const RecordQuery& q) {
  SqlQuery s;
  s.Add("SELECT ").Add(sql::kRecordColumns).Add(", bad_date FROM records");
  s.Where("serial = ?", {SqlText(q.serial)}).Where("archive = ?", {SqlText(ArchiveName(q.archive))});
  return Range(s, "period", q.from, q.to).Add(" ORDER BY period LIMIT ?", {SqlInt(LimitOf(q.limit))});
}

SqlQuery PeriodsQuery(const std::string& serial, ArchiveKind archive, const std::string& from, const std::string& to) {
  SqlQuery s;
  s.Add("SELECT period FROM records").Where("serial = ?", {SqlText(serial)});
  s.Where("archive = ?", {SqlText(ArchiveName(archive))});
  return Range(s, "period", from, to).Add(" ORDER BY period");
}

SqlQuery GapsQuery(const std::string& serial, ArchiveKind archive, const std::string& from, const std::string& to) {
  SqlQuery s;
  s.Add("SELECT first_period, last_period, periods FROM gaps").Where("serial = ?", {SqlText(serial)});
  s.Where("archive = ?", {SqlText(ArchiveName(archive))});
  if (!from.empty()) s.Where("last_period >= ?", {SqlText(from)});
  if (!to.empty()) s.Where("first_period <= ?", {SqlText(to)});
  return s.Add(" ORDER BY first_period");
}

SqlQuery PutSlotsQuery(const std::string& serial, std::span<const SlotRow* const> slots) {
  const auto add = [&serial](SqlQuery& s, const std::string& tuple, const SlotRow& r) {
    s.Add(tuple, {SqlText(serial), SqlText(ArchiveName(r.archive)), SqlInt(r.slot), SqlBytes(r.raw), SqlInt(r.readId)});
  };
  return InsertRows("INSERT INTO slots(serial, archive, slot, raw, read_id) VALUES ", 5, slots, add,
                    " ON CONFLICT(serial, archive, slot) DO UPDATE SET raw = excluded.raw, read_id = excluded.read_id");
}

SqlQuery EventsQuery(const std::string& serial, const std::string& from, const std::string& to) {
  SqlQuery s;
  s.Add("SELECT serial, time, code, text, read_id FROM events").Where("serial = ?", {SqlText(serial)});
  return Range(s, "time", from, to).Add(" ORDER BY time, code");
}

SqlQuery FindingsQuery(const std::string& serial) {
  SqlQuery s;
  s.Add("SELECT id, serial, kind, archive, period, detail, read_id, found_utc, acked_utc, acked_by FROM findings");
  if (!serial.empty()) s.Where("serial = ?", {SqlText(serial)});
  return s.Add(" ORDER BY id DESC");
}

SqlQuery CallsQuery(const std::string& line, std::int64_t limit) {
  SqlQuery s;
  s.Add("SELECT id, origin, pool, device, line, phone, dialed_utc, connected_utc, ended_utc, outcome FROM calls");
  if (!line.empty()) s.Where("line = ?", {SqlText(line)});
  return s.Add(" ORDER BY id DESC LIMIT ?", {SqlInt(limit)});
}

SqlQuery ConflictsQuery(const std::string& serial) {
  SqlQuery s;
  s.Add("SELECT id, ").Add(sql::kRecordColumns).Add(", stored_raw, found_utc FROM record_conflicts");
  if (!serial.empty()) s.Where("serial = ?", {SqlText(serial)});
  return s.Add(" ORDER BY id DESC");
}

SqlQuery StoredRawQuery(const std::string& serial, ArchiveKind archive, std::span<const std::string* const> periods) {
  SqlQuery s;
  s.Add("SELECT period, raw FROM records").Where("serial = ?", {SqlText(serial)});
  s.Where("archive = ?", {SqlText(ArchiveName(archive))}).Add(" AND period IN (");
  for (std::size_t i = 0; i < periods.size(); ++i) s.Add(i ? ", ?" : "?", {SqlText(*periods[i])});
  return s.Add(")");
}

SqlQuery InsertRecordsQuery(std::span<const RecordRow* const> rows) {
  const auto add = [](SqlQuery& s, const std::string& tuple, const RecordRow& r) {
    s.Add(tuple, {SqlText(r.serial), SqlText(ArchiveName(r.archive)), SqlText(r.period), r.forwardTotal, r.reverseTotal,
                  SqlReal(r.forwardIncrement), SqlReal(r.reverseIncrement), SqlInt(r.flags), SqlInt(r.valid ? 1 : 0),
                  SqlText(r.fields), SqlInt(r.readId), SqlInt(r.utcOffsetS), SqlText(r.raw),
                  SqlInt(BadDate(r.archive, r.period) ? 1 : 0)});
  };
  const std::string head = "INSERT INTO records(" + std::string(sql::kRecordColumns) + ", bad_date) VALUES ";
  return InsertRows(head, 14, rows, add, " ON CONFLICT(serial, archive, period) DO NOTHING RETURNING period");
}

SqlQuery InsertEventsQuery(std::span<const EventRow* const> rows) {
  const auto add = [](SqlQuery& s, const std::string& tuple, const EventRow& e) {
    s.Add(tuple, {SqlText(e.serial), SqlText(e.time), SqlInt(e.code), SqlText(e.text), SqlInt(e.readId)});
  };
  return InsertRows("INSERT INTO events(serial, time, code, text, read_id) VALUES ", 5, rows, add,
                    " ON CONFLICT(serial, time, code) DO NOTHING RETURNING 1");
}

namespace {

// The read columns with the table's name before each.
std::string Prefixed(std::string_view table) {
  std::string out;
  std::string_view columns = sql::kReadColumns;
  while (!columns.empty()) {
    const auto comma = columns.find(", ");
    out += std::string(table) + "." + std::string(columns.substr(0, comma));
    if (comma == std::string_view::npos) break;
    out += ", ";
    columns.remove_prefix(comma + 2);
  }
  return out;
}

}  // namespace

SqlQuery ReadRunsQuery(std::span<const ReadRunKey> keys) {
  SqlQuery s;
  s.Add("WITH n(k, name, line) AS (VALUES ");
  for (std::size_t i = 0; i < keys.size(); ++i)
    s.Add(i ? ", (CAST(? AS BIGINT), CAST(? AS TEXT), CAST(? AS TEXT))"
            : "(CAST(? AS BIGINT), CAST(? AS TEXT), CAST(? AS TEXT))",
          {SqlInt(static_cast<std::int64_t>(i)), SqlText(keys[i].name), SqlText(keys[i].line)});
  // Each subquery walks one name's entries of reads_by_name (or of its part
  // for good reads), from its last good read on.
  s.Add(
      "), g AS (SELECT k, name, line, COALESCE((SELECT MAX(id) FROM reads d WHERE d.name = n.name AND "
      "(n.line = '' OR d.line = n.line) AND d.outcome = 'done'), 0) AS good, (SELECT MAX(id) FROM reads t "
      "WHERE t.name = n.name AND (n.line = '' OR t.line = n.line)) AS top FROM n) "
      "SELECT (SELECT COUNT(*) FROM reads r WHERE r.name = g.name AND (g.line = '' OR r.line = g.line) AND "
      "r.id > g.good), g.top, ");
  s.Add(Prefixed("f"));
  return s.Add(
      " FROM g LEFT JOIN reads f ON f.id = (SELECT MAX(x.id) FROM reads x WHERE x.name = g.name "
      "AND (g.line = '' OR x.line = g.line) AND x.id > g.good AND (x.outcome = 'failed' OR (x.outcome IS NULL AND x.id "
      "< g.top))) ORDER BY g.k");
}

std::string SummaryInstrumentsSql() {
  // The read columns of the last read (l) and the last good one (g).
  const auto prefixed = Prefixed;
  return "SELECT i.serial, i.model, i.name, i.line, i.address, i.first_seen_utc, i.last_read_utc, i.every_s, " +
         prefixed("l") + ", " + prefixed("g") +
         " FROM instruments i"
         " LEFT JOIN reads l ON l.id = (SELECT id FROM reads WHERE serial = i.serial ORDER BY id DESC LIMIT 1)"
         " LEFT JOIN reads g ON g.id = (SELECT id FROM reads WHERE serial = i.serial AND outcome = 'done' "
         "ORDER BY id DESC LIMIT 1)"
         " ORDER BY i.line, i.address, i.serial";
}

std::size_t BatchChunk(std::size_t left) {
  for (const std::size_t size : {256u, 64u, 16u, 4u})
    if (left >= size) return size;
  return left;
}

bool BadDate(ArchiveKind archive, std::string_view period) { return !ParsePeriod(archive, period); }

}  // namespace statvtk::store
