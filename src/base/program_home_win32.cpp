// The program home's Windows side: GetModuleFileName and %APPDATA%.
#include <windows.h>

#include <string>

#include "base/program_home.hpp"
#include "base/win32_text.hpp"

namespace statvtk {

std::filesystem::path ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::filesystem::path(buf.substr(0, n));
    buf.resize(buf.size() * 2);
  }
}

std::optional<std::filesystem::path> EnvironmentPath(const char* name) {
  const std::wstring wide = win32::Wide(name);
  const DWORD n = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (n <= 1) return std::nullopt;
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(wide.c_str(), value.data(), n);
  if (got == 0 || got >= n) return std::nullopt;
  value.resize(got);
  return std::filesystem::path(value);
}

std::optional<std::filesystem::path> UserDataHome() {
  if (auto appData = EnvironmentPath("APPDATA"); appData && appData->is_absolute()) return *appData / "StatVTK";
  return std::nullopt;
}

}  // namespace statvtk
