// The collector's HTTP server (libmicrohttpd, daemon.hpp): every request
// goes to the FleetApi, on the address of `[Collector] Http=` (loopback unless another
// address is configured); never a file from disk.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "base/host_port.hpp"
#include "collect/fleet/log_fields.hpp"
#include "collect/http/api.hpp"
#include "collect/http/connections.hpp"
#include "collect/http/daemon.hpp"
#include "collect/http/tokens.hpp"

namespace statvtk::collect {

// Who may ask and how the server is reached.
struct HttpOptions {
  std::shared_ptr<TokenCheck> tokens;  // null or no token in its file: anyone may ask
  std::string cert, key;               // PEM files; both set: HTTPS only
  // A line for each request answered (the access log): the client, the
  // request, the status and the name of its token, never the token.
  std::function<void(const std::string&)> access;
  ConnectionLimits limits;
};

class HttpServer {
 public:
  // `log`: a line for each fault a request ran into (optional).
  explicit HttpServer(std::shared_ptr<FleetApi> api, LogTo log = {}, HttpOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and serves, a thread for each connection; the error when the
  // address cannot be bound or the certificate is not one.
  Result<void> Start(const HostPort& at);
  // Ends serving and every connection, and joins their threads (also on
  // destruction).
  void Stop();
  int Port() const { return port_; }
  bool Tls() const { return !options_.cert.empty(); }

 private:
  HttpAnswer Answer(std::string_view method, std::string_view path, const QueryParams& query, const std::string& who);
  // The answer to a request, and the name of the token it carried ("-": none needed).
  std::pair<HttpAnswer, std::string> Serve(const HttpRequest& req);

  std::shared_ptr<FleetApi> api_;
  LogTo log_;
  HttpOptions options_;
  std::mutex faultMutex_;
  std::string lastFault_;
  std::unique_ptr<HttpDaemon> daemon_;
  int port_ = 0;
};

}  // namespace statvtk::collect
