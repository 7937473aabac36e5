// The store's collectors and line leases over SQL: every time taken from the
// database's clock in the statement itself.
#include "store/sql_store.hpp"

namespace statvtk::store {

Result<void> SqlStore::RegisterCollector(const CollectorRow& row) {
  return Void(
      Run(sql::kRegisterCollector, {SqlText(row.origin), SqlText(row.host), SqlInt(row.pid), SqlText(row.version)}));
}

Result<void> SqlStore::SeeCollector(const std::string& origin) {
  return Void(Run(sql::kSeeCollector, {SqlText(origin)}));
}

Result<std::vector<CollectorRow>> SqlStore::Collectors(std::int64_t aliveWithinS) {
  return Each<CollectorRow>(Run(sql::kCollectors, {SqlInt(aliveWithinS)}), [](const SqlRows& rows, int i) {
    return CollectorRow{rows.Text(i, 0), rows.Text(i, 1), rows.Int(i, 2),     rows.Text(i, 3),
                        rows.Text(i, 4), rows.Text(i, 5), rows.Int(i, 6) != 0};
  });
}

Result<std::optional<std::int64_t>> SqlStore::TakeLease(const std::string& line, const std::string& origin,
                                                        std::int64_t ttlS) {
  auto rows = Run(sql::kTakeLease, {SqlText(line), SqlText(origin), SqlInt(ttlS)});
  if (!rows) return rows.error();
  if (rows->Count() == 0) return std::optional<std::int64_t>();
  return std::optional<std::int64_t>(rows->Int(0, 0));
}

Result<bool> SqlStore::RenewLease(const std::string& line, const std::string& origin, std::int64_t epoch,
                                  std::int64_t ttlS) {
  auto rows = Run(sql::kRenewLease, {SqlText(line), SqlText(origin), SqlInt(epoch), SqlInt(ttlS)});
  if (!rows) return rows.error();
  return rows->Count() > 0;
}

Result<void> SqlStore::ReleaseLease(const std::string& line, const std::string& origin, std::int64_t epoch) {
  return Void(Run(sql::kReleaseLease, {SqlText(line), SqlText(origin), SqlInt(epoch)}));
}

Result<std::vector<LeaseRow>> SqlStore::Leases() {
  return Each<LeaseRow>(Run(sql::kLeases, {}), [](const SqlRows& rows, int i) {
    return LeaseRow{rows.Text(i, 0), rows.Text(i, 1),     rows.Int(i, 2),
                    rows.Text(i, 3), rows.Int(i, 4) != 0, rows.Int(i, 5)};
  });
}

Result<std::int64_t> SqlStore::AdoptOutbox(const std::string& origin, std::int64_t unseenForS) {
  auto rows = Run(sql::kAdoptOutbox, {SqlText(origin), SqlInt(unseenForS)});
  if (!rows) return rows.error();
  return static_cast<std::int64_t>(rows->Count());
}

}  // namespace statvtk::store
