// The program home: the folder that holds StatVTK.ini, Data/, logs/,
// Templates/ and Reports/ ("beside the program").
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/error.hpp"

namespace statvtk {

// --home DIR (option) wins, then STATVTK_HOME, then the executable's folder
// when a StatVTK.ini is there (a portable install), then the user's data
// folder (UserDataHome).
std::filesystem::path ResolveProgramHome(const std::optional<std::filesystem::path>& option,
                                         const std::filesystem::path& executable);

// The system's side (program_home_posix.cpp, program_home_win32.cpp):
// The running program's own path (/proc/self/exe, GetModuleFileName), or empty.
std::filesystem::path ExecutablePath();
// A path from the environment variable `name`; nullopt when unset or empty.
std::optional<std::filesystem::path> EnvironmentPath(const char* name);
// The per-user home: $XDG_DATA_HOME/StatVTK (default ~/.local/share/StatVTK),
// %APPDATA%\StatVTK on Windows; nullopt when the environment names no such folder.
std::optional<std::filesystem::path> UserDataHome();

inline std::filesystem::path SettingsPath(const std::filesystem::path& home) { return home / "StatVTK.ini"; }
inline std::filesystem::path DataFolder(const std::filesystem::path& home) { return home / "Data"; }
inline std::filesystem::path LogsFolder(const std::filesystem::path& home) { return home / "logs"; }
inline std::filesystem::path TemplatesFolder(const std::filesystem::path& home) { return home / "Templates"; }
inline std::filesystem::path ReportsFolder(const std::filesystem::path& home) { return home / "Reports"; }

// Creates the folder (and its parents) when missing; otherwise the error
// (FileSystem) says "Не удалось создать папку FOLDER: " and why.
Result<void> EnsureFolder(const std::filesystem::path& folder);

}  // namespace statvtk
