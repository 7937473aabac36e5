// Statistics files: the archive area followed by the header block, nothing
// else; the model is told by the extension and checked by the exact size.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/atomic_file.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

// How the extension is compared: the Open command takes it exactly as written
// (".vst", ".814", ".ldn"), the command line and dropped files lower-case it.
enum class ExtensionRule { Exact, LowerCase };

// The model a file name's extension stands for, or dtUnknown (then the file is ignored).
DeviceType TypeOfFileName(const std::filesystem::path& path, ExtensionRule rule);

// The file's image, or the user's message: a wrong size gives "Ошибка - файл "
// + name + " имеет неверный размер." where name is `shownName` (or the path
// when empty). Another extension gives the code NotStatFile and no reason:
// nothing to do, no message.
Result<StatData> LoadStatFile(const std::filesystem::path& path, ExtensionRule rule, const std::string& shownName = {});

// Writes area then header to a temporary file in the same folder and renames
// it over `path`; the error's reason names the path and the system's reason.
Result<void> SaveStatFile(const std::filesystem::path& path, const StatData& data);

// The n-th name a downloaded file may take. n = 1: the serial by the
// safe-name rule (SafeNamePart: "1234####" stays as it is, "1\n/x" becomes "1##x") +
// "-%.4d-%.2d-%.2d@%.2d-%.2d" + extension; n >= 2 adds "_" + n before the
// extension ("…@09-07_2.vst"), which sorts after the first name (by bytes as
// well as by the name without its extension) and before the next minute's.
std::string DownloadFileName(const std::string& serialText, DeviceType t, int year, int month, int day, int hour,
                             int minute, int n = 1);

// How many names a download tries before it gives up.
inline constexpr int kMaxDownloadNames = 999;

// Writes a statistics file that never replaces another one: area then header
// under the first of nameOf(1) .. nameOf(kMaxDownloadNames) that is free
// (AtomicWriteNewFile). The name taken, or the error whose reason names the
// first name and the system's reason.
Result<std::filesystem::path> SaveNewStatFile(const CandidateName& nameOf, const StatData& data);

// The names of a download's series in another folder: `fileName` (a name of
// DownloadFileName, with or without its "_n"), then its "_2", "_3", ...
CandidateName SeriesNames(const std::filesystem::path& folder, const std::filesystem::path& fileName);

// The finishing step of a download: creates `dataFolder` when missing and saves
// the image there under the first free DownloadFileName(StatSerialText(data), ...).
// The file's path, or the error with the message.
Result<std::filesystem::path> SaveDownloadedStatFile(const std::filesystem::path& dataFolder, const StatData& data,
                                                     int year, int month, int day, int hour, int minute);

}  // namespace statvtk
