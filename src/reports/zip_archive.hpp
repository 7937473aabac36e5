// Reading and writing zip archives held in memory (over libzip): an .xlsx
// workbook is a zip of XML parts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

struct ZipEntry {
  std::string name;
  std::vector<std::uint8_t> data;  // empty for a folder entry (name ends with '/')
};

// Limits that keep a damaged or hostile archive from exhausting memory.
inline constexpr std::size_t kMaxZipEntries = 4096;
inline constexpr std::uint64_t kMaxZipTotalBytes = 64u * 1024u * 1024u;

// All entries of the archive in `bytes`, in archive order; false with a reason
// when it is no zip archive, an entry cannot be read or a limit is passed.
Result<std::vector<ZipEntry>> ReadZip(std::span<const std::uint8_t> bytes);

// A new archive of `entries` (deflated), in order; false with a reason on failure.
Result<std::vector<std::uint8_t>> WriteZip(const std::vector<ZipEntry>& entries);

}  // namespace statvtk
