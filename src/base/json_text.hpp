// JSON as every program writes it: nlohmann-json with the keys in the order
// they were set, one line, and any text that is not UTF-8 replaced by U+FFFD
// rather than refused (a string from an instrument may hold any byte).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace statvtk {

using Json = nlohmann::ordered_json;

inline std::string JsonText(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace statvtk
