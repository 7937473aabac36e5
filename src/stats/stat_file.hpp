// Statistics files: the archive area followed by the header block, nothing
// else; the model is told by the extension and checked by the exact size.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "stats/stat_image.hpp"

namespace statvtk {

// How the extension is compared: the Open command takes it exactly as written
// (".vst", ".814", ".ldn"), the command line and dropped files lower-case it.
enum class ExtensionRule { Exact, LowerCase };

// The model a file name's extension stands for, or dtUnknown (then the file is ignored).
DeviceType TypeOfFileName(const std::filesystem::path& path, ExtensionRule rule);

struct LoadResult {
  std::optional<StatData> data;  // empty on failure
  bool ignored = false;          // another extension: nothing to do, no message
  std::string error;             // the user's message on failure
};

// A wrong size gives "Ошибка - файл " + name + " имеет неверный размер." where
// name is `shownName` (or the path when empty).
LoadResult LoadStatFile(const std::filesystem::path& path, ExtensionRule rule, const std::string& shownName = {});

// Writes area then header to a temporary file in the same folder and renames
// it over `path`; false with a message naming the path and the system's reason.
bool SaveStatFile(const std::filesystem::path& path, const StatData& data, std::string* error);

// The name of a downloaded file: serial + "-%.4d-%.2d-%.2d@%.2d-%.2d" + extension.
std::string DownloadFileName(const std::string& serialText, DeviceType t, int year, int month, int day,
                             int hour, int minute);

// The finishing step of a download: creates `dataFolder` when missing and saves
// the image there under DownloadFileName(StatSerialText(data), ...). On success
// `written` (when given) receives the file's path; on failure `error` the message.
bool SaveDownloadedStatFile(const std::filesystem::path& dataFolder, const StatData& data, int year, int month,
                            int day, int hour, int minute, std::filesystem::path* written, std::string* error);

}  // namespace statvtk
