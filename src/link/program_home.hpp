// The program home: the folder that holds StatVTK.ini, Data/, logs/,
// Templates/ and Reports/ ("beside the program").
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace statvtk {

// --home DIR (option) wins, then STATVTK_HOME, then the executable's folder
// when a StatVTK.ini is there (a portable install), then
// $XDG_DATA_HOME/StatVTK (default ~/.local/share/StatVTK).
std::filesystem::path ResolveProgramHome(const std::optional<std::filesystem::path>& option,
                                         const std::filesystem::path& executable);

// The running program's own path (/proc/self/exe), or empty.
std::filesystem::path ExecutablePath();

inline std::filesystem::path SettingsPath(const std::filesystem::path& home) { return home / "StatVTK.ini"; }
inline std::filesystem::path DataFolder(const std::filesystem::path& home) { return home / "Data"; }
inline std::filesystem::path LogsFolder(const std::filesystem::path& home) { return home / "logs"; }
inline std::filesystem::path TemplatesFolder(const std::filesystem::path& home) { return home / "Templates"; }
inline std::filesystem::path ReportsFolder(const std::filesystem::path& home) { return home / "Reports"; }

// Creates the folder (and its parents) when missing; false with a reason otherwise.
bool EnsureFolder(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace statvtk
