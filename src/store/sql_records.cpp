// A read's records and events into the store in few statements whatever
// their number (a batch of keys looked up, a batch inserted), each record
// told apart (added, the same, a conflict found now or known).
#include <algorithm>
#include <map>
#include <set>

#include "store/periods.hpp"
#include "store/sql_store.hpp"

namespace statvtk::store {

namespace {

// The bytes stored under each period asked for, in chunks of the batch sizes.
Result<void> StoredRaws(SqlConnection& c, const std::string& serial, ArchiveKind archive,
                        const std::vector<const std::string*>& periods, std::map<std::string, std::string>& out) {
  for (std::size_t at = 0; at < periods.size();) {
    const std::size_t n = BatchChunk(periods.size() - at);
    const SqlQuery q = StoredRawQuery(serial, archive, {periods.data() + at, n});
    auto rows = c.Run(q.text, q.params, Repeat::Safe);
    if (!rows) return rows.error();
    for (int i = 0; i < rows->Count(); ++i) out[rows->Text(i, 0)] = rows->Text(i, 1);
    at += n;
  }
  return {};
}

std::vector<SqlValue> ConflictParams(const RecordRow& r, const std::string& storedRaw) {
  return {SqlText(r.serial),
          SqlText(ArchiveName(r.archive)),
          SqlText(r.period),
          r.forwardTotal,
          r.reverseTotal,
          SqlReal(r.forwardIncrement),
          SqlReal(r.reverseIncrement),
          SqlInt(r.flags),
          SqlInt(r.valid ? 1 : 0),
          SqlText(r.fields),
          SqlInt(r.readId),
          SqlInt(r.utcOffsetS),
          SqlText(r.raw),
          SqlText(storedRaw)};
}

}  // namespace

Result<std::vector<Upsert>> SqlStore::PutRecords(std::span<const RecordRow> rows) {
  // Each instrument's archive on its own: its keys share the index's prefix.
  if (rows.empty()) return std::vector<Upsert>{};
  // Only periods of the meter are records: a slot of other bytes is none.
  for (const RecordRow& r : rows)
    if (!ParsePeriod(r.archive, r.period))
      return MakeError(ErrorCode::BadData, "Не период архива " + std::string(ArchiveName(r.archive)) + ": " + r.period);
  std::map<std::pair<std::string, ArchiveKind>, std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < rows.size(); ++i) groups[{rows[i].serial, rows[i].archive}].push_back(i);
  return InTransaction([&]() -> Result<std::vector<Upsert>> {
    std::vector<Upsert> out(rows.size(), Upsert::Same);
    for (const auto& [key, at] : groups)
      if (auto r = PutArchive(rows, at, out); !r) return r.error();
    return out;
  });
}

Result<void> SqlStore::PutArchive(std::span<const RecordRow> rows, const std::vector<std::size_t>& at,
                                  std::vector<Upsert>& out) {
  const std::string& serial = rows[at.front()].serial;
  const ArchiveKind archive = rows[at.front()].archive;
  std::set<std::string> seen;
  std::vector<const std::string*> periods;
  for (const std::size_t i : at)
    if (seen.insert(rows[i].period).second) periods.push_back(&rows[i].period);
  std::map<std::string, std::string> stored;  // period -> the bytes stored (or added now)
  if (auto r = StoredRaws(*c_, serial, archive, periods, stored); !r) return r;

  // The first row of each new key goes in; a key another writer stored
  // meanwhile is looked up again.
  std::vector<const RecordRow*> fresh;
  std::vector<std::size_t> freshAt;
  std::set<std::string_view> going;
  for (const std::size_t i : at)
    if (!stored.contains(rows[i].period) && going.insert(rows[i].period).second) {
      fresh.push_back(&rows[i]);
      freshAt.push_back(i);
    }
  std::set<std::string> added;
  for (std::size_t k = 0; k < fresh.size();) {
    const std::size_t n = BatchChunk(fresh.size() - k);
    auto inserted = Run(InsertRecordsQuery({fresh.data() + k, n}));
    if (!inserted) return inserted.error();
    for (int i = 0; i < inserted->Count(); ++i) added.insert(inserted->Text(i, 0));
    k += n;
  }
  std::vector<const std::string*> raced;
  for (const RecordRow* r : fresh)
    if (!added.contains(r->period)) raced.push_back(&r->period);
  if (auto r = StoredRaws(*c_, serial, archive, raced, stored); !r) return r;

  for (std::size_t k = 0; k < fresh.size(); ++k)
    if (added.contains(fresh[k]->period)) {
      out[freshAt[k]] = Upsert::Added;
      stored[fresh[k]->period] = fresh[k]->raw;
    }
  for (const std::size_t i : at) {
    if (out[i] == Upsert::Added) continue;
    const std::string& storedRaw = stored[rows[i].period];
    if (storedRaw == rows[i].raw) continue;  // Same
    auto kept = Run(sql::kInsertConflict, ConflictParams(rows[i], storedRaw));
    if (!kept) return kept.error();
    out[i] = kept->Count() > 0 ? Upsert::Conflict : Upsert::KnownConflict;
  }
  if (added.empty()) return {};
  return Void(Run(sql::kAddArchiveStats,
                  {SqlText(serial), SqlText(ArchiveName(archive)), SqlInt(static_cast<std::int64_t>(added.size())),
                   SqlText(*added.begin()), SqlText(*added.rbegin())}));
}

Result<std::int64_t> SqlStore::PutEvents(std::span<const EventRow> rows) {
  if (rows.empty()) return std::int64_t{0};
  std::vector<const EventRow*> all;
  for (const auto& e : rows) all.push_back(&e);
  return InTransaction([&]() -> Result<std::int64_t> {
    std::int64_t added = 0;
    for (std::size_t k = 0; k < all.size();) {
      const std::size_t n = BatchChunk(all.size() - k);
      auto inserted = Run(InsertEventsQuery({all.data() + k, n}));
      if (!inserted) return inserted.error();
      added += inserted->Count();
      k += n;
    }
    return added;
  });
}

}  // namespace statvtk::store
