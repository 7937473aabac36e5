// The messages a read makes for the broker, as outbox rows: the read's
// outcome, one message per record new to the store, the retained state,
// and (once per instrument) Home Assistant's discovery configurations.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "collect/config/mqtt_settings.hpp"
#include "collect/views/json_shapes.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct ReadPublication {
  store::InstrumentRow instrument;
  store::ReadRow read;                     // the finished read
  std::vector<store::RecordRow> added;     // records new to the store, in order
  std::optional<store::RecordRow> newest;  // the instrument's newest hourly (else daily) record
  std::string lastGoodReadUtc;             // empty: never
};

// PREFIX/<serial>/read: a read as GET /api/reads gives it ({"id", "serial",
// "name", "line", "started_utc", "ended_utc", "mode", "outcome", "error",
// "requests", "file", "recovered", "lost", "added", "conflicts"}) and "model".
Json ReadMessage(const ReadPublication& p);
// PREFIX/<serial>/<archive>: the REST record with "serial" and "archive".
Json RecordMessage(const store::RecordRow& r);
// PREFIX/<serial>/state (retained): {"serial", "model", "name", "line",
// "last_read_utc", "last_outcome", "last_good_read_utc", "period", "values": {...}}
Json StateMessage(const ReadPublication& p);

// The fields Home Assistant gets a sensor for, from a record: the totals
// ("forward_total", "reverse_total" and the other "*_total" the model's
// record has) and the flow ("mean_flow") when the model has one.
std::vector<std::string> DiscoveryFields(const store::RecordRow& r);
// homeassistant/sensor/.../config of one field.
Json DiscoveryMessage(const MqttSettings& s, const store::InstrumentRow& in, const std::string& field,
                      const std::string& origin);
// Home Assistant's binary sensor of one kind of situation of an instrument:
// on while PREFIX/<serial>/situation/<kind> is ON.
Json SituationDiscoveryMessage(const MqttSettings& s, const store::InstrumentRow& in, const std::string& kind,
                               const std::string& origin);

// The read's messages in the order they go out. `withDiscovery`: add the
// discovery configurations (the first time an instrument is published).
std::vector<store::OutboxMessage> MessagesOf(const MqttSettings& s, const ReadPublication& p, bool withDiscovery,
                                             const std::string& origin, const std::string& nowUtc);

}  // namespace statvtk::collect
