// Runs the simulated instrument on a carrier in a background thread: a TCP
// listener on 127.0.0.1, a pseudo-terminal reached through a symbolic link,
// optionally behind the Hayes modem (whose dials may go through an
// exchange to the instruments of its sites), or a TCP connection made to a
// collector that first hears an Id line (a GPRS modem). One client at a time. Several
// instruments may share the line, each answering its own address, one reply
// at a time. Destroying the Server stops the thread and removes the link.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/error.hpp"
#include <functional>

#include "sim/exchange.hpp"
#include "sim/instrument.hpp"
#include "sim/modem.hpp"

namespace statvtk::sim {

enum class CarrierKind { Tcp, Pty, Client };

struct ServerOptions {
  CarrierKind carrier = CarrierKind::Tcp;
  std::uint16_t tcpPort = 0;  // 0: any free port (see Server::Port)
  std::string ptyLink;        // path of the symbolic link to the pty's slave
  bool modem = false;
  ModemOptions modemOptions;
  std::uint32_t baud = 0;  // 0: send at once; otherwise 10 bits a byte at this rate
  // With the modem on a pty: dials reach the sites of this exchange (the
  // line given to Start may then be empty).
  Exchange* exchange = nullptr;
  // Client: the address connected to and the line sent first (CR LF added).
  std::string connectHost = "127.0.0.1";
  std::uint16_t connectPort = 0;
  std::string id;
  std::function<void()> ended;  // client: called when the connection has ended
};

class Server {
 public:
  // Opens the carrier and starts serving, or the error with the system's reason.
  static Result<std::unique_ptr<Server>> Start(Instrument& instrument, const ServerOptions& o);
  // Several instruments on one line (none of them null, at least one).
  static Result<std::unique_ptr<Server>> Start(std::vector<Instrument*> line, const ServerOptions& o);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  void Stop();
  std::uint16_t Port() const { return port_; }             // TCP: the port listened on
  const std::string& SlavePath() const { return slave_; }  // pty: /dev/pts/N
  const std::string& LinkPath() const { return opt_.ptyLink; }
  std::uint64_t Connections() const { return connections_; }

 private:
  Server(std::vector<Instrument*> line, const ServerOptions& o) : line_(std::move(line)), opt_(o) {}
  Result<void> OpenTcp();
  Result<void> OpenPty();
  Result<void> OpenClient();
  void Run();
  void ServeTcp();
  void ServeSocket(int c);
  void ServePty();

  std::vector<Instrument*> line_;
  ServerOptions opt_;
  int listen_ = -1, master_ = -1, wake_ = -1, client_ = -1;
  std::uint16_t port_ = 0;
  std::string slave_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> connections_{0};
  std::thread thread_;
};

}  // namespace statvtk::sim
