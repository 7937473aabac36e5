#include "collect/http/server.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "base/printable_text.hpp"
#include "base/ascii.hpp"
#include "collect/http/listen_address.hpp"

namespace statvtk::collect {

namespace {

constexpr std::size_t kMaxTarget = 2048;  // longer request lines are refused

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
std::optional<std::string> PresentedToken(const HttpRequest& req) {
  const std::string& value = req.authorization;
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

// The certificate and its private key, read and checked as a pair; nullopt
// when either cannot be read or they do not belong together.
std::optional<std::pair<std::string, std::string>> PemPair(const std::string& certFile, const std::string& keyFile) {
  const auto read = [](const std::string& file) -> std::optional<std::string> {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (!(text << in.rdbuf())) return std::nullopt;
    return text.str();
  };
  auto cert = read(certFile), key = read(keyFile);
  if (!cert || !key) return std::nullopt;
  const std::unique_ptr<BIO, decltype(&BIO_free)> certIn(BIO_new_mem_buf(cert->data(), static_cast<int>(cert->size())),
                                                         &BIO_free);
  const std::unique_ptr<BIO, decltype(&BIO_free)> keyIn(BIO_new_mem_buf(key->data(), static_cast<int>(key->size())),
                                                        &BIO_free);
  if (!certIn || !keyIn) return std::nullopt;
  const std::unique_ptr<X509, decltype(&X509_free)> x509(PEM_read_bio_X509(certIn.get(), nullptr, nullptr, nullptr),
                                                         &X509_free);
  const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
      PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
  if (!x509 || !pkey || X509_check_private_key(x509.get(), pkey.get()) != 1) return std::nullopt;
  return std::pair{std::move(*cert), std::move(*key)};
}

}  // namespace

HttpServer::HttpServer(std::shared_ptr<FleetApi> api, LogTo log, HttpOptions options)
    : api_(std::move(api)), log_(std::move(log)), options_(std::move(options)) {}

std::pair<HttpAnswer, std::string> HttpServer::Serve(const HttpRequest& req) {
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
  return {Answer(req.method, path, req.query, who), who};
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
  DaemonSetup setup;
  setup.limits = options_.limits;
  if (Tls()) {
    const auto pem = PemPair(options_.cert, options_.key);
    if (!pem)
      return MakeError(ErrorCode::BadSettings, "HttpCert=" + options_.cert + ", HttpKey=" + options_.key +
                                                   ": не сертификат PEM с его закрытым ключом");
    setup.certPem = pem->first;
    setup.keyPem = pem->second;
  }
  auto address = ListenAddressOf(at);
  if (!address) return address.error();
  // Every request, of any method, is answered here: no route table, no file.
  daemon_ = std::make_unique<HttpDaemon>(
      [this](const HttpRequest& req) {
        auto [answer, who] = Serve(req);
        if (options_.access)
          options_.access(req.client + " " + req.method + " " + req.target.substr(0, 200) + " " +
                          std::to_string(answer.status) + " token=" + who);
        return answer;
      },
      std::move(setup));
  if (!daemon_->Start(*address)) {
    daemon_.reset();
    return CannotListen(at);
  }
  port_ = daemon_->Port();
  return {};
}

void HttpServer::Stop() {
  daemon_.reset();  // kept-alive and slow clients end now
  if (options_.tokens) options_.tokens->Flush();
}

}  // namespace statvtk::collect
