// The one writer of the store: every line thread hands its rows through here.
#pragma once

#include <mutex>
#include <utility>

#include "collect/store_outage.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

class MqttOutbox;

class StoreWriter {
 public:
  explicit StoreWriter(store::RecordStore& s) : store_(s) {}
  // Where each read's MQTT messages go (in its transaction); null: none.
  void SetOutbox(MqttOutbox* outbox) { outbox_ = outbox; }
  MqttOutbox* Outbox() const { return outbox_; }
  // The store's failures as the lines see them (thread-safe on its own).
  StoreOutage& Outage() { return outage_; }
  // Runs `f(store)` alone: no other line writes meanwhile.
  template <class F>
  auto With(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(store_);
  }

 private:
  std::mutex mutex_;
  store::RecordStore& store_;
  MqttOutbox* outbox_ = nullptr;
  StoreOutage outage_;
};

}  // namespace statvtk::collect
