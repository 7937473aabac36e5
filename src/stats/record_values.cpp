#include "stats/record_values.hpp"

#include <map>

#include "base/json_text.hpp"

namespace statvtk {

namespace {

const std::map<std::string, std::string, std::less<>>& ValueKeys() {
  static const std::map<std::string, std::string, std::less<>> keys{
      {"V+, м3", "forward_total"},      {"ΔV+, м3", "forward_increment"},     {"V-, м3", "reverse_total"},
      {"ΔV-, м3", "reverse_increment"}, {"M+, т", "forward_mass_total"},      {"ΔM+, т", "forward_mass_increment"},
      {"M-, т", "reverse_mass_total"},  {"ΔM-, т", "reverse_mass_increment"}, {"T, °C", "temperature"},
      {"G, м3/ч", "mean_flow"},         {"U, В", "supply_voltage"},
  };
  return keys;
}

bool IsVolumeColumn(std::string_view key) {
  return key == "forward_total" || key == "reverse_total" || key == "forward_increment" || key == "reverse_increment";
}

}  // namespace

std::string RecordValueKey(std::string_view name) {
  const auto it = ValueKeys().find(name);
  return it != ValueKeys().end() ? it->second : std::string(name);
}

std::vector<RecordValue> RecordValues(const StatModel& m, const StatRecord& r) {
  std::vector<RecordValue> out;
  out.reserve(r.values.size() + 1);
  for (const auto& v : r.values)
    out.push_back({RecordValueKey(v.name), v.increment && !r.incrementKnown ? std::nullopt : std::optional(v.value)});
  if (m.Type() == DeviceType::dtVTK0814C || m.Type() == DeviceType::dtVTK0814CM)
    out.push_back({"mean_flow", r.extraValue});
  return out;
}

std::string OtherValuesJson(const std::vector<RecordValue>& values) {
  Json j = Json::object();
  for (const auto& v : values)
    if (!IsVolumeColumn(v.key)) j[v.key] = v.value ? Json(*v.value) : Json(nullptr);
  return JsonText(j);
}

std::optional<double> ValueOf(const std::vector<RecordValue>& values, std::string_view key) {
  for (const auto& v : values)
    if (v.key == key) return v.value;
  return std::nullopt;
}

}  // namespace statvtk
