#include "collect/mqtt_outbox.hpp"

#include <unistd.h>

#include "collect/mqtt_messages.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

std::string OriginOf(const std::string& configured) {
  if (!configured.empty()) return configured;
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "statvtk";
  return host;
}

Result<bool> MqttOutbox::Enqueue(store::RecordStore& s, ReadPublication p) {
  if (p.read.serial.empty()) return false;  // never answered: nothing to name it by
  for (const ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily}) {
    if (p.newest) break;
    auto stats = s.Stats(p.read.serial, kind);
    if (!stats) return stats.error();
    if (stats->records == 0) continue;
    auto newest = s.Records({p.read.serial, kind, stats->newest, stats->newest, 1});
    if (!newest) return newest.error();
    if (!newest->empty()) p.newest = newest->front();
  }
  if (p.lastGoodReadUtc.empty()) {
    auto good = s.Reads({p.read.serial, "", 1, true});
    if (!good) return good.error();
    if (!good->empty()) p.lastGoodReadUtc = good->front().endedUtc;
  }
  bool discovery = false;
  if (settings_.discovery && p.newest) {
    const std::scoped_lock lock(mutex_);
    discovery = !discovered_.contains(p.read.serial);
  }
  for (const auto& m : MessagesOf(settings_, p, discovery, origin_, store::UtcNow()))
    if (auto e = s.Enqueue(m); !e) return e.error();
  return discovery;
}

void MqttOutbox::Discovered(const std::string& serial) {
  const std::scoped_lock lock(mutex_);
  discovered_.insert(serial);
}

}  // namespace statvtk::collect
