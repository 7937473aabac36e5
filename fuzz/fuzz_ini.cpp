// Fuzz target of the settings file parser: arbitrary text must load, answer
// lookups, and load the connection settings without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/ini_file.hpp"
#include "link/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto ini = statvtk::IniFile::FromText("/nonexistent/StatVTK.ini", text);
  const auto s = statvtk::LoadConnectionSettings(ini);
  if (s.reconnects < 1 || s.reconnects > 255) std::abort();
  if (static_cast<int>(s.connectMode) > 2) std::abort();
  if (s.connectTimeoutS < 1 || s.connectTimeoutS > 255 || s.connectWaitS < 1 || s.connectWaitS > 255) std::abort();
  (void)ini.SectionExists("Settings");
  (void)ini.ReadString("", "", "");
  (void)s.ConnectionText();
  return 0;
}
