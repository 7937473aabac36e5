// The program home: where StatVTK.ini and the data, log, template and report
// folders live.
#include "base/program_home.hpp"

#include <system_error>

namespace statvtk {

std::filesystem::path ResolveProgramHome(const std::optional<std::filesystem::path>& option,
                                         const std::filesystem::path& executable) {
  if (option && !option->empty()) return *option;
  if (auto home = EnvironmentPath("STATVTK_HOME")) return *home;
  if (!executable.empty()) {
    const auto folder = executable.parent_path();
    std::error_code ec;
    if (std::filesystem::is_regular_file(SettingsPath(folder), ec)) return folder;
  }
  if (auto home = UserDataHome()) return *home;
  if (!executable.empty()) return executable.parent_path();
  std::error_code ec;
  const auto cwd = std::filesystem::current_path(ec);
  return (ec ? std::filesystem::path(".") : cwd) / "StatVTK";
}

Result<void> EnsureFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return {};
  std::filesystem::create_directories(folder, ec);
  if (!ec && std::filesystem::is_directory(folder, ec)) return {};
  return MakeError(ErrorCode::FileSystem,
                   "Не удалось создать папку " + folder.string() + ": " +
                       (ec ? ec.message() : std::string("на этом месте уже есть файл")),
                   ec.value());
}

}  // namespace statvtk
