#include "collect/run/stat_files.hpp"

#include <cctype>

#include "reading/read_text.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::collect {

std::vector<std::filesystem::path> OtherFilesOf(const std::filesystem::path& folder, const StatData& data,
                                                const std::filesystem::path& keep) {
  std::vector<std::filesystem::path> out;
  const std::string prefix = DownloadSerialText(data.type, data.header) + "-";
  const std::string ext(FileExtension(data.type));
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    // "SERIAL-YYYY-MM-DD@HH-MM.ext" and the further names of its series.
    if (name.size() <= prefix.size() + ext.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        !std::isdigit(static_cast<unsigned char>(name[prefix.size()])) ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
      continue;
    if (entry.path() == keep || !entry.is_regular_file(ec)) continue;
    out.push_back(entry.path());
  }
  return out;
}

std::optional<Error> RemoveOtherFiles(const std::filesystem::path& folder, const StatData& data,
                                      const std::filesystem::path& keep) {
  std::optional<Error> first;
  for (const auto& p : OtherFilesOf(folder, data, keep)) {
    std::error_code ec;
    if (!std::filesystem::remove(p, ec) && ec && !first)
      first = MakeError(ErrorCode::FileSystem, p.string() + ": " + ec.message(), ec.value());
  }
  return first;
}

}  // namespace statvtk::collect
