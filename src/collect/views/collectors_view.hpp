// The collectors sharing the store and who holds each shared line's lease,
// as `status`, the API, /metrics and the page show them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "collect/views/json_shapes.hpp"
#include "store/store_roles.hpp"

namespace statvtk::collect {

struct SharingView {
  std::vector<store::CollectorRow> collectors;  // by origin; alive: seen within twice LeaseTtl=
  std::vector<store::LeaseRow> leases;          // by line
};

// Both in two statements; a store that keeps no collectors gives none.
Result<SharingView> SharingOf(store::LeaseStore& store, std::int64_t leaseTtlS);
// Each shared line held now, to the collector holding it.
Result<std::map<std::string, std::string>> HoldersOf(store::LeaseStore& store);

// {"origin", "host", "started_utc", "seen_utc", "alive"}
Json CollectorJson(const store::CollectorRow& c);
Json CollectorsJson(const std::vector<store::CollectorRow>& collectors);

}  // namespace statvtk::collect
