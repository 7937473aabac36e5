#include "collect/mqtt/topics.hpp"

#include "base/utf8.hpp"

namespace statvtk::collect {

std::string TopicLevel(std::string_view serial) {
  if (serial.empty()) return "_";
  // A byte that is not UTF-8 or a control character (C0, DEL, C1) would make
  // the broker refuse the topic: each of its bytes becomes '_' as well.
  std::string s;
  for (std::size_t i = 0; i < serial.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = Utf8Length(serial, i, &cp);
    const bool reserved = cp == '#' || cp == '+' || cp == '/' || cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    if (len == 0 || reserved) s.append(len == 0 ? 1 : len, '_');
    else s.append(serial.substr(i, len));
    i += len == 0 ? 1 : len;
  }
  return s;
}

std::string ReadTopic(std::string_view prefix, std::string_view serial) {
  return std::string(prefix) + "/" + TopicLevel(serial) + "/read";
}

std::string RecordTopic(std::string_view prefix, std::string_view serial, std::string_view archive) {
  return std::string(prefix) + "/" + TopicLevel(serial) + "/" + std::string(archive);
}

std::string StateTopic(std::string_view prefix, std::string_view serial) {
  return std::string(prefix) + "/" + TopicLevel(serial) + "/state";
}

std::string SituationTopic(std::string_view prefix, std::string_view serial, std::string_view kind) {
  return std::string(prefix) + "/" + TopicLevel(serial) + "/situation/" + TopicLevel(kind);
}

std::string StatusTopic(std::string_view prefix, std::string_view origin) {
  return std::string(prefix) + "/collector/" + TopicLevel(origin) + "/status";
}

std::string DiscoveryObjectId(std::string_view serial, std::string_view field) {
  std::string id = "statvtk_" + std::string(serial) + "_" + std::string(field);
  for (char& c : id) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) c = '_';
  }
  return id;
}

std::string DiscoveryTopic(std::string_view serial, std::string_view field) {
  return "homeassistant/sensor/" + DiscoveryObjectId(serial, field) + "/config";
}

std::string SituationDiscoveryTopic(std::string_view serial, std::string_view kind) {
  return "homeassistant/binary_sensor/" + DiscoveryObjectId(serial, "situation_" + std::string(kind)) + "/config";
}

}  // namespace statvtk::collect
