#include "collect/mqtt/outbox.hpp"

#include <algorithm>
#include <set>

#include "base/json_text.hpp"
#include "collect/mqtt/messages.hpp"
#include "collect/mqtt/topics.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

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
  if (auto b = Bound(s); !b) return b.error();
  return discovery;
}

void MqttOutbox::Discovered(const std::string& serial) {
  const std::scoped_lock lock(mutex_);
  discovered_.insert(serial);
}

Result<std::vector<std::string>> MqttOutbox::EnqueueSituations(store::RecordStore& s, const std::string& serial,
                                                               const store::SituationChanges& changes) {
  std::set<std::string> kinds;
  for (const auto* list : {&changes.opened, &changes.closed})
    for (const auto& c : *list) kinds.insert(c.kind);
  std::vector<std::string> discovered;
  if (kinds.empty()) return discovered;
  auto open = s.Situations(store::OpenSituations(serial));
  if (!open) return open.error();
  const std::string now = store::UtcNow();
  const auto enqueue = [&](std::string topic, std::string payload) {
    return s.Enqueue({0, origin_, std::move(topic), std::move(payload), 1, true, now});
  };
  store::InstrumentRow in;
  in.serial = serial;
  if (settings_.discovery) {
    auto all = s.Instruments();
    if (!all) return all.error();
    for (const auto& i : *all)
      if (i.serial == serial) in = i;
  }
  for (const auto& kind : kinds) {
    const std::string key = serial + "/situation/" + kind;
    bool discover = false;
    if (settings_.discovery) {
      const std::scoped_lock lock(mutex_);
      discover = !discovered_.contains(key);
    }
    if (discover) {
      auto e = enqueue(SituationDiscoveryTopic(serial, kind),
                       JsonText(SituationDiscoveryMessage(settings_, in, kind, origin_)));
      if (!e) return e.error();
      discovered.push_back(key);
    }
    const bool on = std::any_of(open->begin(), open->end(), [&](const auto& o) { return o.kind == kind; });
    if (auto e = enqueue(SituationTopic(settings_.topic, serial, kind), on ? "ON" : "OFF"); !e) return e.error();
  }
  if (auto b = Bound(s); !b) return b.error();
  return discovered;
}

// A broker away for long must not fill the disk: past the bound the retained
// messages a newer one of the same topic supersedes go first (an older state,
// an older situation ON/OFF), then the oldest record messages (the store
// keeps every record); the newest retained message of each topic stays.
// Counted, and written as a finding the first time.
Result<void> MqttOutbox::Bound(store::RecordStore& s) {
  auto dropped = s.TrimOutbox(origin_, settings_.outboxMax);
  if (!dropped) return dropped.error();
  if (*dropped == 0) return {};
  if (dropped_.fetch_add(*dropped) > 0) return {};
  store::FindingRow f;
  f.kind = store::FindingKind::OutboxOverflow;
  f.period = store::UtcNow();
  f.foundUtc = f.period;
  f.detail =
      "MQTT: брокер не принимает сообщения, в очереди больше MqttOutboxMax=" + std::to_string(settings_.outboxMax) +
      "; самые старые сообщения о записях удаляются (записи в базе данных)";
  if (auto a = s.AddFinding(f); !a) return a.error();
  return {};
}

}  // namespace statvtk::collect
