#include "collect/config/identity.hpp"

#include <unistd.h>

namespace statvtk::collect {

std::string OriginOf(const std::string& configured) {
  if (!configured.empty()) return configured;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "statvtk";
  return host;
}

store::StoreOptions StoreOptionsOf(const CollectorConfig& collector, bool readOnly) {
  // The reads this collector starts carry its origin: collectors sharing a
  // database each find their own.
  return {.origin = OriginOf(collector.origin), .readOnly = readOnly};
}

}  // namespace statvtk::collect
