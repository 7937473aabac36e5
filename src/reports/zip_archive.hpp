// Reading and writing zip archives held in memory (over libzip): an .xlsx
// workbook is a zip of XML parts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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
bool ReadZip(std::span<const std::uint8_t> bytes, std::vector<ZipEntry>* entries, std::string* error);

// A new archive of `entries` (deflated), in order; false with a reason on failure.
bool WriteZip(const std::vector<ZipEntry>& entries, std::vector<std::uint8_t>* bytes, std::string* error);

}  // namespace statvtk
