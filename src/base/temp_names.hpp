// The temporary files of atomic writes: their names beside the target, kept
// within the file system's name limit, and the clearing of those a crashed
// write left behind. Shared by atomic_file_posix.cpp and atomic_file_win32.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace statvtk {

// The longest file name (in bytes on POSIX, UTF-16 units on Windows) the
// temporary names are kept within.
inline constexpr std::size_t kNameLimit = 255;

// `name` within `room` bytes: as it is when it fits, else its stem cut on a
// UTF-8 character boundary and its extension kept.
std::string FitName(std::string_view name, std::size_t room);

// A name of this program's temporary files: "." NAME "." and six letters or
// digits (mkstemp's "XXXXXX"), or "." NAME "." PID "." N ".tmp" (Windows),
// where NAME is one of the program's files (.ini, .vst, .814, .ldn, .xlsx,
// .csv, .log), possibly cut short by FitName.
bool IsOwnTemporaryName(std::string_view name);

// Temporaries older than this are left over from a write that never ended.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

// Removes from `folder` the regular files with an own temporary name last
// written more than `age` ago; anything else (another program's hidden
// files, a write still going) stays. Failures are ignored.
void RemoveStaleTemporaries(const std::filesystem::path& folder, std::chrono::minutes age = kStaleTemporaryAge);

}  // namespace statvtk
