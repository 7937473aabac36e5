// After each read, in its transaction: the read's MQTT messages, made from
// the values the pass has in hand, into the store's outbox (the publisher
// sends them). Discovery configurations go out with an instrument's first
// read in this process that committed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "collect/config/mqtt_settings.hpp"
#include "collect/mqtt/messages.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

class MqttOutbox {
 public:
  MqttOutbox(MqttSettings settings, std::string origin) : settings_(std::move(settings)), origin_(std::move(origin)) {}

  // The messages of a read (in its transaction, not yet committed). What the
  // pass does not have (the newest record when the read fetched none, the
  // last good read when this one failed) is asked of `s`. True when the
  // discovery configurations went with them: mark them Discovered once the
  // transaction commits.
  Result<bool> Enqueue(store::RecordStore& s, ReadPublication p);
  void Discovered(const std::string& serial);
  // After the situations of `serial` were refreshed (in that transaction):
  // for each kind that opened or closed, its retained ON (one still open) or
  // OFF, with MqttDiscovery=1 its binary sensor's configuration first (once
  // in this process). The keys to mark Discovered once the transaction commits.
  Result<std::vector<std::string>> EnqueueSituations(store::RecordStore& s, const std::string& serial,
                                                     const store::SituationChanges& changes);

  const std::string& Origin() const { return origin_; }
  // Messages dropped past MqttOutboxMax= since the start.
  std::int64_t Dropped() const { return dropped_.load(); }

 private:
  Result<void> Bound(store::RecordStore& s);

  std::atomic<std::int64_t> dropped_{0};
  MqttSettings settings_;
  std::string origin_;
  std::mutex mutex_;
  std::set<std::string> discovered_;
};

}  // namespace statvtk::collect
