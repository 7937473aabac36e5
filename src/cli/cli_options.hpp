// Command-line options shared by the commands that talk to an instrument:
// the connection, the program home, timing overrides and the frame trace.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// A cursor over the arguments of one command.
class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  bool Done() const { return i_ >= args_.size(); }
  const std::string& Next() { return args_[i_++]; }
  // The value after an option; false (with an error) when it is missing.
  bool Value(const std::string& option, std::string& out);
  bool Number(const std::string& option, long long min, long long max, long long& out);
  const std::string& Error() const { return error_; }
  void Fail(std::string e) { error_ = std::move(e); }

 private:
  const std::vector<std::string>& args_;
  std::size_t i_ = 0;
  std::string error_;
};

// Takes `arg` (and its value) when it is a connection, home, timing or trace
// option; returns false when it is none of them. Errors go to reader.Fail().
bool TakeConnectionOption(const std::string& arg, ArgReader& reader, ConnectionOptions& o);

// Checks the combination (one transport at most, --phone with --modem...); empty when fine.
std::string CheckConnectionOptions(const ConnectionOptions& o);

// The settings of StatVTK.ini with the options laid over them.
ConnectionSettings ApplyConnectionOptions(ConnectionSettings s, const ConnectionOptions& o);

// The help text of the connection options.
const char* ConnectionHelp();

}  // namespace statvtk::cli
