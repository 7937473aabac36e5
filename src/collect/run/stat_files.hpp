// The statistics files the collector leaves in Data/ (KeepFiles=): each
// read's image as a new file of its series, named as every program names
// them, and, for the newest only, the instrument's older files removed once
// the read is stored.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "stats/stat_image.hpp"

namespace statvtk::collect {

// The files of the instrument of `data` in `folder` (its serial's series,
// the model's extension), but `keep`.
std::vector<std::filesystem::path> OtherFilesOf(const std::filesystem::path& folder, const StatData& data,
                                                const std::filesystem::path& keep);

// Removes them; the first failure, if any (the rest are still tried).
std::optional<Error> RemoveOtherFiles(const std::filesystem::path& folder, const StatData& data,
                                      const std::filesystem::path& keep);

}  // namespace statvtk::collect
