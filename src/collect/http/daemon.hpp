// libmicrohttpd serving every request on one listening socket to one
// handler: each connection on its own thread, held to a ConnectionTable's
// limits, over TLS when given a certificate. Only the library's documented
// interface: the callbacks of a connection's start and end, of a request's
// line and of its completion, and the socket of a connection (which the
// table shuts down to end one).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/error.hpp"
#include "collect/http/api.hpp"
#include "collect/http/connections.hpp"
#include "collect/http/listen_address.hpp"

struct MHD_Daemon;

namespace statvtk::collect {

// One request as the handler sees it.
struct HttpRequest {
  std::string method;
  std::string target;  // as sent: the path and the query
  QueryParams query;   // decoded
  std::string authorization;
  std::string client;  // the client's address
};

struct DaemonSetup {
  ConnectionLimits limits;
  std::string certPem, keyPem;  // both set: HTTPS only
  std::size_t maxBody = 4096;   // a longer body is refused (413)
};

class HttpDaemon {
 public:
  using Handler = std::function<HttpAnswer(const HttpRequest&)>;
  HttpDaemon(Handler handler, DaemonSetup setup);
  // Stops accepting, ends every connection and joins their threads.
  ~HttpDaemon();
  HttpDaemon(const HttpDaemon&) = delete;
  HttpDaemon& operator=(const HttpDaemon&) = delete;

  // Listens on `at` and serves; false when the library would not start
  // (the address cannot be bound, or it refused the certificate).
  bool Start(const ListenAddress& at);
  // The port it listens on (the one the system chose for port 0).
  int Port() const;

 private:
  struct Callbacks;  // the library's callbacks (daemon.cpp)

  Handler handler_;
  DaemonSetup setup_;
  ConnectionTable table_;
  MHD_Daemon* daemon_ = nullptr;
};

}  // namespace statvtk::collect
