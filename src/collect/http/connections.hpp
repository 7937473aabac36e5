// The HTTP server's connections held on a short leash: each on its own
// thread (a slow client never holds up the others), a deadline for a
// request's line and headers, a cap per client address and in all (past
// it the connection of that address idle longest gives way), and TLS when
// the server has a certificate. cpp-httplib parses and answers; this file
// owns the socket and the waits.
#pragma once

#include <openssl/ssl.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <httplib.h>

namespace statvtk::collect {

struct ConnectionLimits {
  std::size_t perAddress = 16;           // open connections of one client address
  std::size_t total = 128;               // open connections in all
  std::chrono::milliseconds head{5000};  // a request's line and headers, from its first byte
  std::chrono::milliseconds idle{5000};  // waiting for a request (a new or kept-alive connection)
  std::chrono::milliseconds io{5000};    // each wait of a body read or an answer's write
  int requestsPerConnection = 20;
};

// The open connections by client address.
class ConnectionTable {
 public:
  explicit ConnectionTable(ConnectionLimits limits) : limits_(limits) {}
  const ConnectionLimits& Limits() const { return limits_; }

  // Takes a new connection: its id, or nullopt when it is refused (the
  // server stops, or every connection of its address, or of all, is busy
  // with a request; an idle one gives way when one is).
  std::optional<std::uint64_t> Admit(int fd, const std::string& address);
  void Idle(std::uint64_t id, bool idle);
  // The connection is done; its socket may be closed after this.
  void Leave(std::uint64_t id);
  // Wakes every connection to end (the server stops) and refuses new ones.
  void CloseAll();
  std::size_t Open();

 private:
  struct Entry {
    int fd = -1;
    std::string address;
    bool idle = true;
    std::chrono::steady_clock::time_point since;
  };
  // Ends the connection idle longest among those `of` selects; false when none is idle.
  bool MakeRoom(const std::function<bool(const Entry&)>& of);

  ConnectionLimits limits_;
  std::mutex mutex_;
  std::map<std::uint64_t, Entry> open_;
  std::uint64_t next_ = 1;
  bool closing_ = false;
};

// A thread for each connection, up to `max` threads (more wait their turn);
// the threads stay for the next connections.
class ConnectionThreads final : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(std::size_t max) : max_(max) {}
  ~ConnectionThreads() override { ConnectionThreads::shutdown(); }
  void enqueue(std::function<void()> fn) override;
  void shutdown() override;

 private:
  void Work();
  std::size_t max_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  bool stop_ = false;
};

// What serves one request on a stream: cpp-httplib's Server::process_request.
using RequestProcessor = std::function<bool(httplib::Stream& strm, bool closeConnection, bool& connectionClosed,
                                            const std::function<void(httplib::Request&)>& setup)>;

// Serves the connection `fd` to its end and closes it; `tls`: the server's
// TLS context (null: plain HTTP).
void ServeConnection(ConnectionTable& table, int fd, SSL_CTX* tls, const RequestProcessor& process);

// httplib::Server or httplib::SSLServer whose connections are served by ServeConnection.
template <class Base>
class GuardedServer final : public Base {
 public:
  template <class... Args>
  explicit GuardedServer(ConnectionTable& table, Args&&... args) : Base(std::forward<Args>(args)...), table_(table) {
    const std::size_t threads = table.Limits().total + 8;
    // cpp-httplib owns the queue it is given.
    this->new_task_queue = [threads] { return std::make_unique<ConnectionThreads>(threads).release(); };
  }

  // After binding: a queue of connections not yet accepted as long as the
  // system allows (the library's is 5: a burst of clients past it waits
  // seconds for the retries of its SYN).
  void WidenBacklog() { ::listen(this->svr_sock_.load(), SOMAXCONN); }

 private:
  bool process_and_close_socket(socket_t sock) override {
    SSL_CTX* tls = nullptr;
    if constexpr (std::is_base_of_v<httplib::SSLServer, Base>) tls = this->ssl_context();
    ServeConnection(
        table_, sock, tls,
        [this](httplib::Stream& s, bool last, bool& closed, const std::function<void(httplib::Request&)>& setup) {
          return this->process_request(s, last, closed, setup);
        });
    return true;
  }
  ConnectionTable& table_;
};

}  // namespace statvtk::collect
