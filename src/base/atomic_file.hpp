// Writing a whole file so that a crash or a full disk never leaves it half
// written: a temporary file beside it, flushed to disk, renamed over it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <span>

#include "base/error.hpp"

namespace statvtk {

// Writes the parts one after another to a temporary file in the folder of
// `path` (keeping an existing file's permissions, else 0644), flushes it,
// renames it over `path` and flushes the folder. On failure the temporary
// file is removed, `path` is untouched and the error (ErrorCode::FileSystem)
// carries the system's error code (errno, GetLastError() on Windows) and its words.
Result<void> AtomicWriteFile(const std::filesystem::path& path,
                             std::initializer_list<std::span<const std::uint8_t>> parts);

// The n-th name a new file may take (n = 1, 2, ...), all in one folder.
using CandidateName = std::function<std::filesystem::path(int n)>;

// Like AtomicWriteFile, but never replaces a file: the parts are written once
// to a temporary file in the folder of nameOf(1), which then takes the first
// of nameOf(1) .. nameOf(maxNames) that does not exist at that moment. The
// final step fails by itself when the name exists (a rename that refuses to
// replace, or an exclusive create of the name followed by the rename over that
// empty placeholder), so two writers never end up with the same name. The
// name taken, or the error (FileSystem); when every name is taken its system
// code is EEXIST (ERROR_FILE_EXISTS on Windows).
Result<std::filesystem::path> AtomicWriteNewFile(const CandidateName& nameOf, int maxNames,
                                                 std::initializer_list<std::span<const std::uint8_t>> parts);

}  // namespace statvtk
