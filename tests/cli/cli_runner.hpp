// Runs the statvtk-cli binary of this build with arguments, capturing its
// standard output and error and its exit status; can send it SIGINT. The
// simulated instrument the CLI tests read, in a home of its own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "support/result_util.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::test {

struct CliRun {
  int status = -1;  // exit status (128 + signal when killed by one)
  std::string out, err;
};

// `interruptWhen` is polled with the stderr text so far; when it returns true
// the program gets `signal` (SIGINT unless told). A run longer than `limit`
// is killed (status -1).
CliRun RunCli(const std::vector<std::string>& args, std::chrono::seconds limit = std::chrono::seconds(60),
              std::function<bool(const std::string& err)> interruptWhen = {}, int signal = 2);

std::string CliPath();

inline std::vector<std::uint8_t> FileBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The lines of a program's output, empty ones left out.
inline std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) out.push_back(l);
  return out;
}

// The last file a read printed.
inline std::string LastLine(const std::string& s) {
  const auto lines = Lines(s);
  return lines.empty() ? std::string() : lines.back();
}

// One simulated instrument served on `carrier` (a pseudo-terminal is home/tty),
// and a home of its own for the CLI's files.
struct SimRig {
  explicit SimRig(const sim::InstrumentOptions& o, sim::CarrierKind carrier = sim::CarrierKind::Tcp, bool modem = false,
                  std::uint32_t baud = 0)
      : instrument(o) {
    sim::ServerOptions so;
    so.carrier = carrier;
    so.ptyLink = (home / "tty").string();
    so.modem = modem;
    so.modemOptions.dialDelayMs = 200;
    so.modemOptions.guardMs = 300;
    so.baud = baud;
    std::string error;
    EXPECT_TRUE(Unpack(sim::Server::Start(instrument, so), &server, &error)) << error;
  }
  explicit SimRig(DeviceType model, sim::CarrierKind carrier = sim::CarrierKind::Tcp, std::uint64_t seed = 3,
                  bool modem = false, std::uint32_t baud = 0, std::optional<std::uint64_t> silentAfter = {})
      : SimRig(Options(model, seed, silentAfter), carrier, modem, baud) {}
  ~SimRig() { server.reset(); }
  static sim::InstrumentOptions Options(DeviceType model, std::uint64_t seed, std::optional<std::uint64_t> silent) {
    sim::InstrumentOptions o;
    o.model = model;
    o.seed = seed;
    o.silentAfter = silent;
    return o;
  }
  std::vector<std::string> Tcp() const { return {"--tcp", "127.0.0.1:" + std::to_string(server->Port())}; }
  // `a`, then the connection (`conn`, or TCP), the home and short timings.
  std::vector<std::string> Args(std::vector<std::string> a) const { return Args(std::move(a), Tcp()); }
  std::vector<std::string> Args(std::vector<std::string> a, const std::vector<std::string>& conn) const {
    a.insert(a.end(), conn.begin(), conn.end());
    a.insert(a.end(), {"--home", home.string(), "--reply-timeout", "300", "--byte-timeout", "100", "--retries", "3"});
    return a;
  }
  link_test::TempFolder folder;
  std::filesystem::path home = folder.Path();
  sim::Instrument instrument;
  std::unique_ptr<sim::Server> server;
};

}  // namespace statvtk::test
