// The program home's POSIX side: /proc/self/exe and the XDG data folder.
#include <cstdlib>
#include <system_error>

#include "base/program_home.hpp"

namespace statvtk {

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path{} : p;
}

std::optional<std::filesystem::path> EnvironmentPath(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return std::nullopt;
  return std::filesystem::path(v);
}

std::optional<std::filesystem::path> UserDataHome() {
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (auto xdg = EnvironmentPath("XDG_DATA_HOME"); xdg && xdg->is_absolute()) return *xdg / "StatVTK";
  if (auto home = EnvironmentPath("HOME")) return *home / ".local" / "share" / "StatVTK";
  return std::nullopt;
}

}  // namespace statvtk
