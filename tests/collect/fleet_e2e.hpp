// Helpers of the collector's end-to-end tests: the simulator on a loopback
// port (its own process, or instruments served in this one), a home with
// collect.ini, statvtk-collect run as its own process or in this one, its
// logs and store, a modem that calls in.
#pragma once

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.hpp"
#include "collect/commands.hpp"
#include "collect/run/stop_request.hpp"
#include "sim/server.hpp"
#include "store/record_store.hpp"
#include "support/child_process.hpp"
#include "support/result_util.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::test {

inline std::string BinaryDir() {
  const char* dir = std::getenv("STATVTK_BINARY_DIR");
  return dir ? dir : STATVTK_BINARY_DIR;
}

// How often `what` is in `text`.
inline std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The reads a running collector counts as failed on `line` (its /metrics
// on port `http`); -1: no answer.
inline long FailedReads(int http, const std::string& line) {
  httplib::Client client("127.0.0.1", http);
  client.set_connection_timeout(5);
  client.set_read_timeout(20);
  const auto r = client.Get("/metrics");
  if (!r || r->status != 200) return -1;
  const std::string sample = "statvtk_reads_total{line=\"" + line + "\",outcome=\"failed\"} ";
  const auto at = r->body.find(sample);
  return at == std::string::npos ? 0 : std::stol(r->body.substr(at + sample.size()));
}

// statvtk-sim with `args` on a free loopback TCP port.
class SimOnTcp {
 public:
  SimOnTcp(const std::filesystem::path& folder, std::vector<std::string> args) : log_(folder / "sim.log") {
    args.insert(args.begin(), BinaryDir() + "/statvtk-sim");
    args.insert(args.end(), {"--tcp", "0"});
    sim_.Start(args, log_);
    WaitUntil([&] { return Port() > 0 || !sim_.Running(); }, std::chrono::seconds(60));
  }
  int Port() const {
    std::smatch m;
    const std::string text = link_test::ReadAll(log_);
    static const std::regex kPort("tcp 127\\.0\\.0\\.1:([0-9]+)");
    return std::regex_search(text, m, kPort) ? std::stoi(m[1]) : 0;
  }
  void Signal(int sig) { kill(sim_.Pid(), sig); }
  // How many times the simulator's log says `what` ("reply of": replies
  // given, with -v).
  std::size_t Said(const std::string& what) const { return Occurrences(link_test::ReadAll(log_), what); }
  // A day (--tick-hours) passes in the instruments: SIGUSR1, and its line in the log.
  bool Advance() {
    const std::size_t before = Said("hour(s) passed");
    Signal(SIGUSR1);
    return WaitUntil([&] { return Said("hour(s) passed") > before; });
  }

 private:
  std::filesystem::path log_;
  ChildProcess sim_;
};

// Simulated instruments served in this process on a loopback TCP port (one
// bus); null (and the test failed) when it could not start.
inline std::unique_ptr<sim::Server> ServeOnTcp(const std::vector<sim::Instrument*>& instruments) {
  sim::ServerOptions so;
  so.carrier = sim::CarrierKind::Tcp;
  std::unique_ptr<sim::Server> server;
  std::string error;
  EXPECT_TRUE(Unpack(sim::Server::Start(instruments, so), &server, &error)) << error;
  return server;
}

inline std::string LineSection(const std::string& name, int port) {
  return "[Line " + name + "]\nMode=tcp\nTcp=127.0.0.1:" + std::to_string(port) + "\n\n";
}
inline std::string InstrumentSection(const std::string& name, const std::string& line, int address) {
  return "[Instrument " + name + "]\nLine=" + line + "\nAddress=" + std::to_string(address) + "\n\n";
}

// statvtk-collect COMMAND --home HOME to its end; the exit status (-1 past `limit`).
inline int Collect(const std::filesystem::path& home, const std::vector<std::string>& command,
                   std::chrono::seconds limit = std::chrono::seconds(120)) {
  std::vector<std::string> argv{BinaryDir() + "/statvtk-collect"};
  argv.insert(argv.end(), command.begin(), command.end());
  argv.insert(argv.end(), {"--home", home.string()});
  return RunToEnd(argv, home / "collect.out", limit);
}

inline ChildProcess CollectInBackground(const std::filesystem::path& home, const std::string& command) {
  return ChildProcess({BinaryDir() + "/statvtk-collect", command, "--home", home.string()}, home / "collect.out");
}

// `statvtk-collect run --home HOME` in this process, on a thread of its own,
// until Stop() (or the end of the object).
class RunInProcess {
 public:
  explicit RunInProcess(const std::filesystem::path& home)
      : thread_([home = home.string()] {
          std::ostringstream out, err;
          collect::Dispatch({"run", "--home", home}, out, err);
        }) {}
  ~RunInProcess() { Stop(); }
  void Stop() {
    if (!thread_.joinable()) return;
    collect::StopRequest().store(true);
    thread_.join();
    collect::StopRequest().store(false);
  }

 private:
  std::jthread thread_;
};

// The log files of the home whose names begin with `prefix` (all: ""), all days together.
inline std::string LogFiles(const std::filesystem::path& home, const std::string& prefix = "") {
  std::string text;
  std::error_code ec;
  for (const auto& f : std::filesystem::directory_iterator(home / "logs", ec))
    if (f.path().filename().string().starts_with(prefix)) text += link_test::ReadAll(f.path());
  return text;
}

// The home's store opened only to read, beside a collector that writes it.
inline Result<std::unique_ptr<store::RecordStore>> ReadOnlyStore(const std::filesystem::path& home) {
  return store::OpenRecordStore("collect.sqlite", home,
                                {.origin = {}, .busyWait = std::chrono::seconds(10), .readOnly = true});
}

// A modem's end of a call-in connection from 127.0.0.1: the socket made
// first, connected and its Id sent.
struct CallingModem {
  UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  bool Call(int port, const std::string& id) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string line = id + "\r";
    return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
           ::send(fd.get(), line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
  }
  // Bytes the collector sent to this modem so far.
  std::size_t Heard() {
    char buf[256];
    std::size_t n = 0;
    for (ssize_t got; (got = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT)) > 0;) n += static_cast<std::size_t>(got);
    return n;
  }
  // The collector closed the connection.
  bool Closed() {
    char buf[64];
    return ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT) == 0;
  }
};

}  // namespace statvtk::test
