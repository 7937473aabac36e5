#include "collect/mqtt/messages.hpp"

#include "base/utf8.hpp"
#include "collect/mqtt/topics.hpp"
#include "collect/views/json_shapes.hpp"
#include "front/situation_texts.hpp"

namespace statvtk::collect {

namespace {

// The record's values by their show --json names: the totals, increments and
// the model's other fields.
Json ValuesOf(const store::RecordRow& r) {
  Json v;
  v["forward_total"] = r.forwardTotal;
  v["reverse_total"] = r.reverseTotal;
  v["forward_increment"] = r.forwardIncrement ? Json(*r.forwardIncrement) : Json(nullptr);
  v["reverse_increment"] = r.reverseIncrement ? Json(*r.reverseIncrement) : Json(nullptr);
  const Json fields = RecordJson(r)["fields"];
  if (fields.is_object())
    for (const auto& [k, value] : fields.items())
      if (!v.contains(k) && (value.is_number() || value.is_null())) v[k] = value;
  v["flags"] = r.flags;
  return v;
}

std::string Title(const std::string& field) {
  if (field == "forward_total") return "Объём прямой";
  if (field == "reverse_total") return "Объём обратный";
  if (field == "forward_mass_total") return "Масса прямая";
  if (field == "reverse_mass_total") return "Масса обратная";
  if (field == "mean_flow") return "Расход";
  return field;
}

}  // namespace

Json ReadMessage(const ReadPublication& p) {
  // The read as GET /api/reads gives it, named by the instrument as configured.
  Json j = ReadJson(p.read);
  j["serial"] = ValidUtf8(p.instrument.serial);
  j["name"] = p.instrument.name;
  j["line"] = p.instrument.line;
  j["model"] = p.instrument.model;
  return j;
}

Json RecordMessage(const store::RecordRow& r) { return SerialRecordJson(r); }

Json StateMessage(const ReadPublication& p) {
  Json j;
  j["serial"] = ValidUtf8(p.instrument.serial);
  j["model"] = p.instrument.model;
  j["name"] = p.instrument.name;
  j["line"] = p.instrument.line;
  j["last_read_utc"] = p.read.endedUtc;
  j["last_outcome"] = p.read.outcome ? Json(store::ReadOutcomeName(*p.read.outcome)) : Json(nullptr);
  j["last_good_read_utc"] = p.lastGoodReadUtc.empty() ? Json(nullptr) : Json(p.lastGoodReadUtc);
  j["archive"] = p.newest ? Json(store::ArchiveName(p.newest->archive)) : Json(nullptr);
  j["period"] = p.newest ? Json(p.newest->period) : Json(nullptr);
  j["values"] = p.newest ? ValuesOf(*p.newest) : Json::object();
  return j;
}

std::vector<std::string> DiscoveryFields(const store::RecordRow& r) {
  std::vector<std::string> out{"forward_total", "reverse_total"};
  const Json fields = RecordJson(r)["fields"];
  if (!fields.is_object()) return out;
  for (const auto& [k, v] : fields.items()) {
    const bool total = k.size() > 6 && k.ends_with("_total");
    if ((total || k == "mean_flow") && v.is_number() && k != "forward_total" && k != "reverse_total") out.push_back(k);
  }
  return out;
}

namespace {

// The instrument as Home Assistant's device of its sensors.
Json DeviceJson(const store::InstrumentRow& in) {
  return {{"identifiers", Json::array({"statvtk_" + TopicLevel(in.serial)})},
          {"name", in.name.empty() ? in.model + " " + ValidUtf8(in.serial) : in.name},
          {"model", in.model},
          {"serial_number", ValidUtf8(in.serial)}};
}

}  // namespace

Json DiscoveryMessage(const MqttSettings& s, const store::InstrumentRow& in, const std::string& field,
                      const std::string& origin) {
  Json j;
  j["name"] = Title(field);
  j["unique_id"] = DiscoveryObjectId(in.serial, field);
  j["object_id"] = DiscoveryObjectId(in.serial, field);
  j["state_topic"] = StateTopic(s.topic, in.serial);
  j["value_template"] = "{{ value_json['values']['" + field + "'] }}";
  j["json_attributes_topic"] = StateTopic(s.topic, in.serial);
  j["availability_topic"] = StatusTopic(s.topic, origin);  // the collector's will says when it is gone
  if (field == "mean_flow") {
    j["unit_of_measurement"] = "m³/h";
    j["device_class"] = "volume_flow_rate";
    j["state_class"] = "measurement";
  } else if (field.find("mass") != std::string::npos) {
    j["unit_of_measurement"] = "t";
    j["state_class"] = "total_increasing";
  } else {
    j["unit_of_measurement"] = "m³";
    j["device_class"] = "water";
    j["state_class"] = "total_increasing";
  }
  j["device"] = DeviceJson(in);
  return j;
}

Json SituationDiscoveryMessage(const MqttSettings& s, const store::InstrumentRow& in, const std::string& kind,
                               const std::string& origin) {
  const std::string field = "situation_" + kind;
  const std::string text = SituationText(kind, "");
  Json j;
  j["name"] = text.empty() ? kind : text;
  j["unique_id"] = DiscoveryObjectId(in.serial, field);
  j["object_id"] = DiscoveryObjectId(in.serial, field);
  j["state_topic"] = SituationTopic(s.topic, in.serial, kind);
  j["payload_on"] = "ON";
  j["payload_off"] = "OFF";
  j["device_class"] = "problem";
  j["availability_topic"] = StatusTopic(s.topic, origin);
  j["device"] = DeviceJson(in);
  return j;
}

std::vector<store::OutboxMessage> MessagesOf(const MqttSettings& s, const ReadPublication& p, bool withDiscovery,
                                             const std::string& origin, const std::string& nowUtc) {
  std::vector<store::OutboxMessage> out;
  auto add = [&](std::string topic, const Json& payload, bool retain) {
    out.push_back({0, origin, std::move(topic), JsonText(payload), 1, retain, nowUtc});
  };
  const std::string& serial = p.instrument.serial;
  if (withDiscovery && p.newest)
    for (const auto& field : DiscoveryFields(*p.newest))
      add(DiscoveryTopic(serial, field), DiscoveryMessage(s, p.instrument, field, origin), true);
  add(ReadTopic(s.topic, serial), ReadMessage(p), false);
  for (const auto& r : p.added)
    add(RecordTopic(s.topic, serial, store::ArchiveName(r.archive)), RecordMessage(r), false);
  add(StateTopic(s.topic, serial), StateMessage(p), true);
  return out;
}

}  // namespace statvtk::collect
