// Command-line options of statvtk-cli: the connection, the program home,
// timing overrides and the frame trace shared by the commands that talk to
// an instrument, and the parsing every command ends its arguments with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/command_line.hpp"
#include "link/settings.hpp"

namespace statvtk::cli {

struct ConnectionOptions {
  std::optional<std::string> serial;  // --serial PORT
  std::optional<std::string> modem;   // --modem PORT
  std::optional<std::string> tcp;     // --tcp HOST:PORT
  std::optional<std::string> dyndns;  // --dyndns NAME
  std::optional<std::string> phone;   // --phone NUMBER
  std::optional<std::uint32_t> baud;
  std::optional<std::int64_t> address;
  std::optional<std::uint32_t> byteTimeout, replyTimeout, retries;
  bool mbus = false, gate = false, pulse = false, trace = false;
  std::optional<std::filesystem::path> home;
};

inline constexpr const char* kConnectionGroup =
    "Connection (what is not given comes from StatVTK.ini in the program home)";

// The app of a command, "statvtk-cli NAME", for its own options.
std::unique_ptr<CLI::App> CommandApp(const std::string& command, const std::string& description,
                                     const std::string& footer);

// Parses a command's arguments: nullopt to go on, or the exit status when
// the command ends here (kExitOk after the help on `out`, kExitUsage after
// the reason on `err`).
std::optional<int> ParseCommand(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                                std::ostream& err);

// The same for a command that talks to an instrument: the connection options
// (into `o`) join the command's own, and their combination is checked. An
// --address the command declared itself (a list) is kept.
std::optional<int> ParseInstrumentCommand(CLI::App& app, ConnectionOptions& o, const std::vector<std::string>& args,
                                          std::ostream& out, std::ostream& err);
// The same with the command's app made here and its own options declared
// by `declare` into `o` (the connection options in o.conn).
template <class Options>
std::optional<int> ParseInstrumentCommand(const std::string& command, const std::string& description,
                                          const std::string& footer, Options& o, void (*declare)(CLI::App&, Options&),
                                          const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto app = CommandApp(command, description, footer);
  declare(*app, o);
  return ParseInstrumentCommand(*app, o.conn, args, out, err);
}

// Checks the combination (one transport at most, --phone with --modem...); empty when fine.
std::string CheckConnectionOptions(const ConnectionOptions& o);

// The settings of StatVTK.ini with the options laid over them.
ConnectionSettings ApplyConnectionOptions(ConnectionSettings s, const ConnectionOptions& o);

// "statvtk-cli <command>: <message>" and the usage hint; returns kExitUsage.
int UsageError(std::ostream& err, const std::string& command, const std::string& message);

}  // namespace statvtk::cli
