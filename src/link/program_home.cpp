// The program home: where StatVTK.ini and the data, log, template and report
// folders live.
#include "link/program_home.hpp"

#include <cstdlib>
#include <system_error>

namespace statvtk {

namespace {

std::optional<std::filesystem::path> EnvPath(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return std::nullopt;
  return std::filesystem::path(v);
}

}  // namespace

std::filesystem::path ResolveProgramHome(const std::optional<std::filesystem::path>& option,
                                         const std::filesystem::path& executable) {
  if (option && !option->empty()) return *option;
  if (auto home = EnvPath("STATVTK_HOME")) return *home;
  if (!executable.empty()) {
    const auto folder = executable.parent_path();
    std::error_code ec;
    if (std::filesystem::is_regular_file(SettingsPath(folder), ec)) return folder;
  }
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (auto xdg = EnvPath("XDG_DATA_HOME"); xdg && xdg->is_absolute()) return *xdg / "StatVTK";
  if (auto home = EnvPath("HOME")) return *home / ".local" / "share" / "StatVTK";
  if (!executable.empty()) return executable.parent_path();
  std::error_code ec;
  const auto cwd = std::filesystem::current_path(ec);
  return (ec ? std::filesystem::path(".") : cwd) / "StatVTK";
}

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path{} : p;
}

bool EnsureFolder(const std::filesystem::path& folder, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  std::filesystem::create_directories(folder, ec);
  if (!ec && std::filesystem::is_directory(folder, ec)) return true;
  if (error) {
    *error = "Не удалось создать папку " + folder.string() + ": " +
             (ec ? ec.message() : std::string("на этом месте уже есть файл"));
  }
  return false;
}

}  // namespace statvtk
