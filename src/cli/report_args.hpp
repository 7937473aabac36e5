// Arguments of the file commands (export, report, info): one statistics file,
// "--name value" options, --home DIR and --help; loading the file.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/error.hpp"
#include "cli/commands.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

namespace statvtk::cli {

struct FileCommandArgs {
  std::string file;
  std::optional<std::filesystem::path> home;
  std::optional<DeviceType> member;            // --member C|CM: the VTK-08.14 member of a .814 file
  std::map<std::string, std::string> options;  // "--day" -> "15.03.24"
  bool help = false;

  std::optional<std::string> Option(const std::string& name) const;
};

// `valueOptions` are the options that take a value (besides --home).
// The error (BadSettings) has the reason for an unknown option, a missing
// value, a repeated option or a missing or second file name.
Result<FileCommandArgs> ParseFileCommandArgs(const Args& args, const std::vector<std::string>& valueOptions);

// A file command's first step: its arguments parsed, or the exit code to
// return at once: kExitUsage after "statvtk-cli NAME: reason" and the help on
// `err`, kExitOk after the help on `out` for --help.
std::variant<FileCommandArgs, int> StartFileCommand(const Args& args, const std::vector<std::string>& valueOptions,
                                                    const char* name, std::string_view help, std::ostream& out,
                                                    std::ostream& err);

// The statistics file (extension compared lower-cased) as its data, or the error with the message.
Result<StatData> LoadStatistics(const std::string& file);
// The same for a file command: a .814 file takes the member given with
// --member, else the one remembered for its serial number in the home's
// StatVTK.ini, else C; `source` says which.
Result<StatData> LoadStatistics(const FileCommandArgs& args, MemberSource* source = nullptr);

// A file command's statistics, or kExitFile after the reason on `err`.
std::variant<StatData, int> LoadForCommand(const FileCommandArgs& args, std::ostream& err,
                                           MemberSource* source = nullptr);

// The program home: --home, else STATVTK_HOME, the portable folder or the user's data folder.
std::filesystem::path HomeOf(const FileCommandArgs& args);

// "DD.MM.YY" -> date (20YY); false when malformed or not a calendar date.
// With `anyListedDay` every day 01..31 of months 01..12 passes, as a file may
// list such a day (31.02): the caller then looks it up among the listed days.
bool ParseShortDate(const std::string& text, CalendarDate* date, bool anyListedDay = false);

}  // namespace statvtk::cli
