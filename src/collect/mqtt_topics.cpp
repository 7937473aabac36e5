#include "collect/mqtt_topics.hpp"

namespace statvtk::collect {

std::string TopicLevel(std::string_view serial) {
  if (serial.empty()) return "_";
  std::string s(serial);
  for (char& c : s)
    if (c == '#' || c == '+' || c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
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

}  // namespace statvtk::collect
