// The statistics file of a download: the step a front end takes after an
// instrument's read, apart from the read itself. The file goes into Data/
// of the program home under the first free name of its series; a VTK-08.14's
// member is remembered by serial number in StatVTK.ini.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "base/error.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

struct DownloadFile {
  std::filesystem::path path;  // the file written, or where it should have gone
  bool written = false;
  std::optional<Error> error;        // why it was not written (its reason names the path)
  std::optional<Error> memberError;  // the member could not be remembered (StatVTK.ini's path and why)
};

DownloadFile WriteDownload(const StatData& data, const std::filesystem::path& home,
                           std::chrono::system_clock::time_point now);

}  // namespace statvtk
