#include "collect/http_server.hpp"

#include <httplib.h>

#include "base/printable_text.hpp"

namespace statvtk::collect {

namespace {

constexpr std::size_t kMaxTarget = 2048;  // longer request lines are refused

QueryParams QueryOf(const httplib::Request& req) {
  QueryParams q;
  for (const auto& [k, v] : req.params) q.emplace_back(k, v);
  return q;
}

void Send(httplib::Response& res, const HttpAnswer& a) {
  res.status = a.status;
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_content(a.body, a.contentType.c_str());
}

}  // namespace

HttpServer::HttpServer(std::shared_ptr<FleetApi> api, std::function<void(const std::string&)> log)
    : api_(std::move(api)), log_(std::move(log)) {}

HttpAnswer HttpServer::Answer(std::string_view method, std::string_view path, const QueryParams& query) {
  // Whatever one request throws ends that request only: it is answered 500
  // and the fault logged (once while the same one repeats).
  std::string fault;
  try {
    return api_->Answer(method, path, query);
  } catch (const std::exception& e) {
    fault = e.what();
  } catch (...) {
    fault = "?";
  }
  const std::scoped_lock lock(faultMutex_);
  if (fault != lastFault_ && log_)
    log_("HTTP: internal fault on " + PrintableText(std::string(path.substr(0, 200))) + ": " + fault);
  lastFault_ = fault;
  return FleetApi::Refuse(500, "внутренняя ошибка");
}

HttpServer::~HttpServer() { Stop(); }

Result<void> HttpServer::Start(const HostPort& at) {
  Stop();
  server_ = std::make_unique<httplib::Server>();
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_max_count(20);
  server_->set_payload_max_length(4096);
  // Every request, of any method, is answered here: no route table, no mount point.
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (req.target.size() > kMaxTarget) {
      Send(res, FleetApi::Refuse(414, "слишком длинный запрос"));
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string_view target = req.target;
    const std::string_view path = target.substr(0, target.find('?'));
    Send(res, Answer(req.method, path, QueryOf(req)));
    return httplib::Server::HandlerResponse::Handled;
  });
  server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    Send(res, FleetApi::Refuse(res.status, "неверный запрос"));
  });
  server_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Send(res, FleetApi::Refuse(500, "внутренняя ошибка"));
  });
  if (at.port == 0) {
    port_ = server_->bind_to_any_port(at.host.c_str());
    if (port_ <= 0) return MakeError(ErrorCode::BadSettings, "Http: cannot listen on " + at.host);
  } else {
    if (!server_->bind_to_port(at.host.c_str(), at.port))
      return MakeError(ErrorCode::BadSettings, "Http: cannot listen on " + at.host + ":" + std::to_string(at.port) +
                                                   " (in use or no such address)");
    port_ = at.port;
  }
  thread_ = std::thread([s = server_.get()] { s->listen_after_bind(); });
  return {};
}

void HttpServer::Stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

}  // namespace statvtk::collect
