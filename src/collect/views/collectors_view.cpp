#include "collect/views/collectors_view.hpp"

#include "base/utf8.hpp"

namespace statvtk::collect {

namespace {

// The default of a store that keeps no collectors (none to show), told apart from a failure.
template <class T>
Result<std::vector<T>> NoneWhenNotKept(Result<std::vector<T>> rows) {
  if (!rows && rows.error().code == ErrorCode::StoreSchema) return std::vector<T>{};
  return rows;
}

}  // namespace

Result<SharingView> SharingOf(store::LeaseStore& store, std::int64_t leaseTtlS) {
  auto collectors = NoneWhenNotKept(store.Collectors(2 * leaseTtlS));
  if (!collectors) return collectors.error();
  auto leases = NoneWhenNotKept(store.Leases());
  if (!leases) return leases.error();
  return SharingView{std::move(*collectors), std::move(*leases)};
}

Result<std::map<std::string, std::string>> HoldersOf(store::LeaseStore& store) {
  auto leases = NoneWhenNotKept(store.Leases());
  if (!leases) return leases.error();
  std::map<std::string, std::string> out;
  for (const auto& l : *leases)
    if (l.held) out[l.line] = l.origin;
  return out;
}

Json CollectorJson(const store::CollectorRow& c) {
  const auto orNull = [](const std::string& s) { return s.empty() ? Json(nullptr) : Json(ValidUtf8(s)); };
  return Json{{"origin", ValidUtf8(c.origin)},
              {"host", orNull(c.host)},
              {"started_utc", orNull(c.startedUtc)},
              {"seen_utc", orNull(c.seenUtc)},
              {"alive", c.alive}};
}

Json CollectorsJson(const std::vector<store::CollectorRow>& collectors) {
  Json list = Json::array();
  for (const auto& c : collectors) list.push_back(CollectorJson(c));
  return list;
}

}  // namespace statvtk::collect
