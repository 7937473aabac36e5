// What the collector's own threads of reads (a modem pool, the call-in
// lines) start from: the configuration, the home, the store's writer, the
// log and the run's stop.
#pragma once

#include <atomic>
#include <filesystem>

#include "collect/config/collect_config.hpp"
#include "collect/fleet/log_fields.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

struct DialContext {
  const Config& cfg;
  std::filesystem::path home;
  StoreWriter& writer;
  LogTo log;                // one line, stamped by the caller
  std::atomic<bool>& stop;  // the run's: ends the reads
};

}  // namespace statvtk::collect
