// MQTT topic names of the collector: PREFIX/<serial>/read, /<archive>,
// /state, /situation/<kind>, and Home Assistant's discovery topics. A serial goes into one topic
// level with the characters MQTT reserves written '_'.
#pragma once

#include <string>
#include <string_view>

namespace statvtk::collect {

// The serial as one topic level: '#', '+', '/', control characters and each
// byte that is not UTF-8 become '_'; an empty serial is "_".
std::string TopicLevel(std::string_view serial);

// "PREFIX/<level>/read", "PREFIX/<level>/<archive>", "PREFIX/<level>/state".
std::string ReadTopic(std::string_view prefix, std::string_view serial);
std::string RecordTopic(std::string_view prefix, std::string_view serial, std::string_view archive);
std::string StateTopic(std::string_view prefix, std::string_view serial);
// "PREFIX/<level>/situation/<kind>": "ON" while a situation of that kind is
// open on the instrument, "OFF" once none is, retained.
std::string SituationTopic(std::string_view prefix, std::string_view serial, std::string_view kind);

// "PREFIX/collector/<origin>/status": "online" while this collector is
// connected, "offline" (its last will, or said on a clean stop), retained.
std::string StatusTopic(std::string_view prefix, std::string_view origin);
inline constexpr std::string_view kOnline = "online", kOffline = "offline";

// The object id Home Assistant keys a sensor by: "statvtk_<serial>_<field>"
// with everything but [A-Za-z0-9_-] written '_'.
std::string DiscoveryObjectId(std::string_view serial, std::string_view field);
// "homeassistant/sensor/<object id>/config".
std::string DiscoveryTopic(std::string_view serial, std::string_view field);
// "homeassistant/binary_sensor/<object id of situation_<kind>>/config".
std::string SituationDiscoveryTopic(std::string_view serial, std::string_view kind);

}  // namespace statvtk::collect
