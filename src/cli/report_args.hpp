// Arguments of the file commands (export, report, info): one statistics file,
// "--name value" options, --home DIR and --help; loading the file.
#pragma once

#include <concepts>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "base/command_line.hpp"
#include "base/error.hpp"
#include "cli/commands.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_model.hpp"
#include "stats/stat_window.hpp"

namespace statvtk::cli {

struct FileCommandArgs {
  std::string file;
  std::optional<std::filesystem::path> home;
  std::optional<DeviceType> member;  // --member C|CM: the VTK-08.14 member of a .814 file
};

// What a file command says of itself in its help.
struct FileCommandText {
  std::string name;  // "statvtk-cli NAME"
  std::string about;
  std::string footer;
};

// Parses a file command's arguments: FILE, --member C|CM and --home DIR
// (into `a`) joining the options `declare` adds to the command's app:
// nullopt to go on, or the exit status.
std::optional<int> ParseFileCommand(const FileCommandText& text, FileCommandArgs& a,
                                    const std::function<void(CLI::App&)>& declare, const Args& args, std::ostream& out,
                                    std::ostream& err);
// The same for a command whose options hold the file's (they derive from
// FileCommandArgs) and its own, declared by its
// DeclareOptions(CLI::App&, Options&).
template <class Options>
requires std::derived_from<Options, FileCommandArgs> std::optional<int> ParseFileCommand(const FileCommandText& text,
                                                                                         Options& o, const Args& args,
                                                                                         std::ostream& out,
                                                                                         std::ostream& err) {
  return ParseFileCommand(
      text, o, [&o](CLI::App& app) { DeclareOptions(app, o); }, args, out, err);
}

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

// A serial number for JSON: it is ASCII, and each byte of a damaged one at
// or above 0x80 becomes U+FFFD, as in the workbook.
std::string SerialForJson(const std::string& raw);

// "DD.MM.YY" -> date (20YY); false when malformed or not a calendar date.
// With `anyListedDay` every day 01..31 of months 01..12 passes, as a file may
// list such a day (31.02): the caller then looks it up among the listed days.
bool ParseShortDate(const std::string& text, CalendarDate* date, bool anyListedDay = false);

}  // namespace statvtk::cli
