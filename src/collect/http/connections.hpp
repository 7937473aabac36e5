// The HTTP server's open connections on a short leash: a cap per client
// address and in all (past it the connection of that address idle longest
// gives way), a deadline for a request's line and headers, and a watch that
// ends every connection past its deadline. No HTTP here: the server says
// when a connection opens, when a request's line and its head have come,
// when its answer is done and when it closes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace statvtk::collect {

struct ConnectionLimits {
  std::size_t perAddress = 16;           // open connections of one client address
  std::size_t total = 128;               // open connections in all
  std::chrono::milliseconds head{5000};  // a request's headers, from its line
  std::chrono::milliseconds idle{5000};  // silence while waiting for a request (a new or kept-alive connection);
                                         // its line is due within idle + head
  std::chrono::milliseconds io{5000};    // each wait of a body read or an answer's write
  int requestsPerConnection = 20;
};

class ConnectionTable {
 public:
  enum class Phase { Waiting, Head, Busy };
  // What the server's thread of one connection keeps of its request (only
  // that thread touches it).
  struct Request {
    std::string target;     // as sent: the path and the query
    std::size_t body = 0;   // bytes of its body so far
    bool headCame = false;  // the handler has seen its headers
    int answered = 0;       // requests answered on the connection before it
  };
  struct Connection {
    std::uint64_t id = 0;
    int fd = -1;
    std::string address;
    Phase phase = Phase::Waiting;
    std::chrono::steady_clock::time_point since;  // of the phase
    bool gone = false;  // its socket shut down (past a deadline, or it gave way): no longer counted
    Request request;
  };

  // Starts the watch over the deadlines.
  explicit ConnectionTable(ConnectionLimits limits);
  ~ConnectionTable();
  ConnectionTable(const ConnectionTable&) = delete;
  ConnectionTable& operator=(const ConnectionTable&) = delete;
  const ConnectionLimits& Limits() const { return limits_; }

  // Whether a new connection of `address` may open: false when the server
  // stops, or when every connection of its address, or of all, is in the
  // middle of a request (one that waits for a request gives way when one does).
  bool Admit(const std::string& address);
  // A connection admitted has opened on `fd`; it stays until Closed.
  Connection& Opened(int fd, std::string address);
  // Its request's line has come: the rest of the head is due within `head`.
  void LineCame(Connection& c);
  // Its head has come: no deadline of the table now (the server's waits
  // each have `io`).
  void HeadCame(Connection& c);
  // Its answer is done (or the request given up): it waits for the next.
  void Done(Connection& c);
  void Closed(const Connection& c);
  // Shuts every connection down and refuses new ones (the server stops).
  void CloseAll();

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point DeadlineOf(const Connection& c) const;
  // Shuts down the connection waiting longest among those of `address`
  // (empty: of any); false when none waits.
  bool MakeRoom(const std::string& address);
  void Enter(Connection& c, Phase phase);
  void Watch(std::stop_token stop);

  ConnectionLimits limits_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::map<std::uint64_t, Connection> open_;
  std::uint64_t next_ = 1;
  std::uint64_t changes_ = 0;  // the watch looks again after each
  bool closing_ = false;
  std::jthread watch_;  // last: it uses the rest
};

}  // namespace statvtk::collect
