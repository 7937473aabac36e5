#include "collect/http/server.hpp"

#include <httplib.h>
#include <openssl/evp.h>

#include <cctype>
#include <optional>

#include "base/printable_text.hpp"
#include "base/ascii.hpp"

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
  if (a.status == 401) res.set_header("WWW-Authenticate", "Basic realm=\"statvtk\"");
  res.set_content(a.body, a.contentType.c_str());
}

std::optional<std::string> Base64Decoded(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0 || text.size() > 1024) return std::nullopt;
  std::string out(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  std::size_t size = static_cast<std::size_t>(n);
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i) --size;  // the padding's zero bytes
  out.resize(size);
  return out;
}

// The token of `Authorization: Bearer TOKEN`, or the password of `Basic`
// (any user name: a browser asks for both).
std::optional<std::string> PresentedToken(const httplib::Request& req) {
  const std::string& value = req.get_header_value("Authorization");
  if (StartsWithAsciiNoCase(value, "Bearer ")) {
    std::string_view token = std::string_view(value).substr(7);
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
    return std::string(token);
  }
  if (StartsWithAsciiNoCase(value, "Basic ")) {
    auto pair = Base64Decoded(std::string_view(value).substr(6));
    if (!pair || pair->find(':') == std::string::npos) return std::nullopt;
    return pair->substr(pair->find(':') + 1);
  }
  return std::nullopt;
}

}  // namespace

HttpServer::HttpServer(std::shared_ptr<FleetApi> api, LogTo log, HttpOptions options)
    : api_(std::move(api)), log_(std::move(log)), options_(std::move(options)) {}

std::pair<HttpAnswer, std::string> HttpServer::Serve(const httplib::Request& req) {
  if (req.target.size() > kMaxTarget) return {FleetApi::Refuse(414, "слишком длинный запрос"), "-"};
  const std::string_view target = req.target;
  const std::string_view path = target.substr(0, target.find('?'));
  // Whether it is up, for a load balancer or a monitor: nothing about instruments, no token.
  if (req.method == "GET" && path == "/health") return {api_->Health(), "-"};
  std::string who = "-";
  if (options_.tokens) {
    (void)options_.tokens->Refresh();  // a file that cannot be read now keeps the tokens known
    if (options_.tokens->Any()) {
      const auto token = PresentedToken(req);
      if (!token) return {FleetApi::Refuse(401, "нужен токен: Authorization: Bearer TOKEN"), "?"};
      auto name = options_.tokens->NameOf(*token);
      if (!name) return {FleetApi::Refuse(401, "неизвестный токен"), "?"};
      who = std::move(*name);
    }
  }
  return {Answer(req.method, path, QueryOf(req), who), who};
}

HttpAnswer HttpServer::Answer(std::string_view method, std::string_view path, const QueryParams& query,
                              const std::string& who) {
  // Whatever one request throws ends that request only: it is answered 500
  // and the fault logged (once while the same one repeats).
  std::string fault;
  try {
    return method == "POST" ? api_->Post(path, who) : api_->Answer(method, path, query);
  } catch (const std::exception& e) {
    fault = e.what();
  } catch (...) {
    fault = "?";
  }
  const std::scoped_lock lock(faultMutex_);
  if (fault != lastFault_ && log_)
    log_("HTTP: внутренняя ошибка на " + PrintableText(std::string(path.substr(0, 200))) + ": " + fault,
         {.event = LogEvent::InternalFault});
  lastFault_ = fault;
  return FleetApi::Refuse(500, "внутренняя ошибка");
}

HttpServer::~HttpServer() { Stop(); }

Result<void> HttpServer::Start(const HostPort& at) {
  Stop();
  connections_ = std::make_unique<ConnectionTable>(options_.limits);
  std::function<void()> widenBacklog;
  if (Tls()) {
    auto tls =
        std::make_unique<GuardedServer<httplib::SSLServer>>(*connections_, options_.cert.c_str(), options_.key.c_str());
    if (!tls->is_valid())
      return MakeError(ErrorCode::BadSettings, "HttpCert=" + options_.cert + ", HttpKey=" + options_.key +
                                                   ": not a PEM certificate and its private key");
    widenBacklog = [s = tls.get()] { s->WidenBacklog(); };
    server_ = std::move(tls);
  } else {
    auto plain = std::make_unique<GuardedServer<httplib::Server>>(*connections_);
    widenBacklog = [s = plain.get()] { s->WidenBacklog(); };
    server_ = std::move(plain);
  }
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_payload_max_length(4096);
  // Every request, of any method, is answered here: no route table, no mount point.
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    auto [answer, who] = Serve(req);
    Send(res, answer);
    if (options_.access)
      options_.access(req.remote_addr + " " + req.method + " " + req.target.substr(0, 200) + " " +
                      std::to_string(answer.status) + " token=" + who);
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
  widenBacklog();
  thread_ = std::thread([s = server_.get()] { s->listen_after_bind(); });
  return {};
}

void HttpServer::Stop() {
  if (connections_) connections_->CloseAll();  // kept-alive and slow clients end now
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
  connections_.reset();
  if (options_.tokens) options_.tokens->Flush();
}

}  // namespace statvtk::collect
