// The command lines of the programs: CLI11 apps that share one help layout
// (usage, description, option groups, footer; made from the declarations)
// and check whole numbers as decimal text in a range.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace statvtk::args {

// An app called `name` ("statvtk-cli read") with -h/--help (group "Other",
// shown last) and the help layout; a value given twice counts once, the last.
std::unique_ptr<CLI::App> MakeApp(const std::string& name, const std::string& description,
                                  const std::string& footer = {});

// A whole number from `lo` to `hi` written in decimal ("010" is ten, "0x10",
// "+5" and " 5" are no numbers): the value, or nothing.
std::optional<long long> DecimalValue(std::string_view text, long long lo, long long hi);
std::optional<unsigned long long> UnsignedValue(std::string_view text, unsigned long long hi);
// "\"TEXT\" is not a number from LO to HI".
std::string NotANumber(std::string_view text, long long lo, unsigned long long hi);

// The check of an option's value by DecimalValue, to be given with
// ->transform(): the value is passed on as plain decimal text, so that
// CLI11 reads it as written (its own reading takes "010" for octal).
CLI::Validator Decimal(long long lo, long long hi);
CLI::Validator Unsigned(unsigned long long hi);

// An option whose value, when given, lands in `target`.
template <class T>
CLI::Option* AddOptional(CLI::App& app, const std::string& name, std::optional<T>& target,
                         const std::string& description) {
  return app.add_option_function<T>(
      name, [&target](const T& v) { target = v; }, description);
}

// How a parse ended: go on, or the help or version was asked for (print
// `text` on stdout, exit 0), or the words of a usage error (exit 2).
struct Parsed {
  enum class End { Go, Help, Version, Usage } end = End::Go;
  std::string text;
};
Parsed Parse(CLI::App& app, const std::vector<std::string>& args);

// "NAME: message" and "Try 'NAME --help'." on `err` (NAME: the app's name,
// "statvtk-cli read"); returns `exit`.
int UsageError(std::ostream& err, const std::string& name, const std::string& message, int exit = 2);

// Parses a command's arguments: nullopt to go on, or the exit status when it
// ends here: 0 after the help on `out`, `usageExit` after a usage error.
std::optional<int> ParseOrEnd(CLI::App& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                              int usageExit = 2);

// A program of commands, each of which reads the rest of the line itself.
using CommandRun = int (*)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
struct Command {
  const char* name;
  const char* about;  // a line for the program's help
  CommandRun run;
};
struct Program {
  std::string name, about, footer, version;  // version: the line --version prints
  std::span<const Command> commands;
  int usageExit = 2;
  // Called after a command, the help or the version with the exit status and
  // what ran; returns the exit status (statvtk-cli checks its output here).
  std::function<int(int status, const std::string& what)> finish;
};
// The program's own level: --help (also "help"), --version, or the command
// named first with the rest of the line; nothing at all is the help on `err`.
int RunProgram(const Program& program, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace statvtk::args
