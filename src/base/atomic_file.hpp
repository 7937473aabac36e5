// Writing a whole file so that a crash or a full disk never leaves it half
// written: a temporary file beside it, flushed to disk, renamed over it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>

#include "base/error.hpp"

namespace statvtk {

// Writes the parts one after another to a temporary file in the folder of
// `path` (keeping an existing file's permissions, else 0644), flushes it,
// renames it over `path` and flushes the folder. On failure the temporary
// file is removed, `path` is untouched and the error (ErrorCode::FileSystem)
// carries the system's error code (errno, GetLastError() on Windows) and its words.
Result<void> AtomicWriteFile(const std::filesystem::path& path, std::initializer_list<std::span<const std::uint8_t>> parts);

}  // namespace statvtk
