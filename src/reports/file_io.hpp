// Whole-file reading and atomic writing for the report files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace statvtk {

// The file's bytes (at most `limit`); false with the system's reason.
bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>* bytes, std::string* error,
                   std::uintmax_t limit = 256u * 1024u * 1024u);

// Writes to a temporary file beside `path`, flushes it and renames it over
// `path`; on failure the temporary file is removed and `path` is untouched.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace statvtk
