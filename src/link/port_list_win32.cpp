// The COM ports present on this machine: the system's list under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each with the friendly name the
// device manager shows ("USB Serial Port (COM3)") where SetupAPI knows one.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

#include "link/serial_channel.hpp"
#include "link/serial_common.hpp"
#include "base/win32_text.hpp"

namespace statvtk {
namespace {

// COM names from the registry's device map.
std::vector<std::string> DeviceMapPorts() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return names;
  for (DWORD i = 0;; ++i) {
    wchar_t value[256];
    DWORD valueLen = 256;
    wchar_t data[256];
    DWORD dataLen = sizeof data;
    DWORD type = 0;
    const LONG r = RegEnumValueW(key, i, value, &valueLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataLen);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    names.push_back(win32::Utf8(data, static_cast<int>(wcsnlen(data, dataLen / sizeof(wchar_t)))));
  }
  RegCloseKey(key);
  return names;
}

// Friendly names of the devices of the "Ports" class, by their COM name.
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA dev{};
  dev.cbSize = sizeof dev;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t port[64] = {};
    DWORD len = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const bool named =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &len) == ERROR_SUCCESS &&
        type == REG_SZ;
    RegCloseKey(key);
    if (!named) continue;
    wchar_t friendly[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr))
      names.emplace(win32::Utf8(port), win32::Utf8(friendly));
  }
  SetupDiDestroyDeviceInfoList(set);
  return names;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<std::string> names = DeviceMapPorts();
  const auto friendly = FriendlyNames();
  for (const auto& [port, text] : friendly) names.push_back(port);
  std::sort(names.begin(), names.end(),
            [](const auto& a, const auto& b) { return serial::PortSortKey(a) < serial::PortSortKey(b); });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<SerialPortInfo> ports;
  for (const auto& name : names) {
    SerialPortInfo info;
    info.path = name;
    if (const auto f = friendly.find(name); f != friendly.end()) info.description = f->second;
    ports.push_back(std::move(info));
  }
  return ports;
}

}  // namespace statvtk
