// The collector's HTTP server (cpp-httplib): every request goes to the
// FleetApi, on the address of `[Collector] Http=` (loopback unless another
// address is configured); never a file from disk.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/error.hpp"
#include "base/host_port.hpp"
#include "collect/http_api.hpp"

namespace httplib {
class Server;
}

namespace statvtk::collect {

// Http= of collect.ini: "HOST:PORT", ":PORT" or "PORT" (the host then
// 127.0.0.1); port 0 lets the system choose (the tests).
inline constexpr HostPortRules kHttpAddress{.defaultHost = "127.0.0.1", .defaultPort = 0, .minPort = 0};

class HttpServer {
 public:
  // `log`: a line for each fault a request ran into (optional).
  explicit HttpServer(std::shared_ptr<FleetApi> api, std::function<void(const std::string&)> log = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and serves on its own thread; the error when the address cannot be bound.
  Result<void> Start(const HostPort& at);
  // Ends serving and joins the thread (also on destruction).
  void Stop();
  int Port() const { return port_; }

 private:
  HttpAnswer Answer(std::string_view method, std::string_view path, const QueryParams& query);

  std::shared_ptr<FleetApi> api_;
  std::function<void(const std::string&)> log_;
  std::mutex faultMutex_;
  std::string lastFault_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace statvtk::collect
