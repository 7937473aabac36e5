// Whole-file reading and atomic writing for the report files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

// The file's bytes (at most `limit`); the error's reason is the path, ": "
// and why.
Result<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                std::uintmax_t limit = 256u * 1024u * 1024u);

// Writes to a temporary file beside `path`, flushes it and renames it over
// `path`; on failure the temporary file is removed and `path` is untouched.
// The error's reason is the path, ": " and the system's words.
Result<void> WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace statvtk
