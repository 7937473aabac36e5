// The collector's identity: its name in the store (Origin=, else the host
// name), which every read it starts, every lease it holds and every message
// it sends carry, and the options every connection of it opens the store with.
#pragma once

#include <string>

#include "collect/config/collect_config.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// Origin= or, when empty, the host name.
std::string OriginOf(const std::string& configured);

// The options every connection of this collector opens the store with;
// `readOnly` for the commands that only look.
store::StoreOptions StoreOptionsOf(const CollectorConfig& collector, bool readOnly = false);

}  // namespace statvtk::collect
