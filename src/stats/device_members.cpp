#include "stats/device_members.hpp"

#include <cctype>

#include "stats/stat_model.hpp"

namespace statvtk {

namespace {

constexpr const char* kDevices = "Devices";

bool IsVtk0814(DeviceType t) { return t == DeviceType::dtVTK0814C || t == DeviceType::dtVTK0814CM; }

// A serial number usable as a key: printable ASCII without the INI's own marks.
bool UsableKey(const std::string& serial) {
  if (serial.empty()) return false;
  for (unsigned char c : serial)
    if (c <= ' ' || c >= 0x7F || c == '=' || c == '[' || c == ']' || c == ';') return false;
  return true;
}

}  // namespace

std::optional<DeviceType> MemberOfText(const std::string& text) {
  std::string t;
  for (unsigned char c : text) t += static_cast<char>(std::toupper(c));
  if (t == "C") return DeviceType::dtVTK0814C;
  if (t == "CM") return DeviceType::dtVTK0814CM;
  return std::nullopt;
}

Result<bool> RememberMember(IniFile& ini, const std::string& serial, DeviceType type) {
  if (!IsVtk0814(type) || !UsableKey(serial)) return false;
  Result<void> written = ini.WriteString(kDevices, serial, type == DeviceType::dtVTK0814CM ? "CM" : "C");
  if (!written) return std::move(written.error());
  return true;
}

std::optional<DeviceType> RememberedMember(const IniFile& ini, const std::string& serial) {
  if (!UsableKey(serial)) return std::nullopt;
  return MemberOfText(ini.ReadString(kDevices, serial, ""));
}

MemberSource ApplyMember(StatData& data, const IniFile& ini, std::optional<DeviceType> given) {
  if (!IsVtk0814(data.type)) return MemberSource::NotApplicable;
  if (given && IsVtk0814(*given)) {
    data.type = *given;
    return MemberSource::Given;
  }
  if (const auto remembered = RememberedMember(ini, StatSerialText(data))) {
    data.type = *remembered;
    return MemberSource::Remembered;
  }
  data.type = DeviceType::dtVTK0814C;
  return MemberSource::Assumed;
}

std::string MemberNote(MemberSource source, DeviceType type) {
  const std::string member = type == DeviceType::dtVTK0814CM ? "CM" : "C";
  switch (source) {
    case MemberSource::NotApplicable: return {};
    case MemberSource::Given: return "Таблицы исполнения " + member + " (указано пользователем)";
    case MemberSource::Remembered: return "Таблицы исполнения " + member + " (запомнено при чтении прибора)";
    case MemberSource::Assumed:
      return "Таблицы исполнения C: исполнение прибора неизвестно (файл .814 его не хранит); "
             "для исполнения CM укажите его";
  }
  return {};
}

}  // namespace statvtk
