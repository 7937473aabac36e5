#include "collect/http/exposure.hpp"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <optional>

#include "base/host_port.hpp"
#include "collect/http/server.hpp"
#include "collect/http/tokens.hpp"
#include "store/pg_connection.hpp"

namespace statvtk::collect {

namespace {

// The key file readable by its owner alone; the reason when not.
std::optional<std::string> KeyProblem(const std::filesystem::path& key) {
  struct stat st {};
  if (::stat(key.c_str(), &st) != 0) return key.string() + ": no such file (HttpKey=)";
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    return key.string() + ": the private key is readable by other users; chmod 600 " + key.string();
  return std::nullopt;
}

void CheckHttp(const Config& cfg, const std::filesystem::path& home, ExposureCheck& out) {
  const CollectorConfig& col = cfg.collector;
  const std::string at = cfg.file.string() + ":" + std::to_string(col.httpLine) + ": ";
  const auto address = ParseHostPort(col.http, kHttpAddress);
  if (!address) return;  // the loader refuses it
  const bool tls = !col.httpCert.empty() && !col.httpKey.empty();
  if (tls) {
    if (auto p = KeyProblem(InHome(col.httpKey, home))) out.refusals.push_back(at + *p);
    if (!std::filesystem::exists(InHome(col.httpCert, home)))
      out.refusals.push_back(at + InHome(col.httpCert, home).string() + ": no such file (HttpCert=)");
  }
  const TokenFile tokens(InHome(col.httpTokens, home));
  const auto entries = tokens.Read();
  if (!entries) {
    out.refusals.push_back(at + entries.error().reason);
    return;
  }
  if (IsLoopbackHost(address->host) || (tls && !entries->empty())) return;
  std::string missing;
  if (entries->empty()) missing = "no token in " + tokens.Path().string() + " (statvtk-collect token add NAME)";
  if (!tls) missing += std::string(missing.empty() ? "" : " and ") + "no HttpCert=/HttpKey= (HTTPS)";
  if (col.httpInsecure)
    out.warnings.push_back(at + "Http=" + col.http + " serves the network with " + missing +
                           " (HttpInsecure=1): anyone who reaches it reads the fleet's data");
  else
    out.refusals.push_back(at + "Http=" + col.http + " is an address other hosts reach, with " + missing +
                           ": make a token and set HttpCert= and HttpKey=, serve on 127.0.0.1 behind a proxy, "
                           "or set HttpInsecure=1 to serve it open anyway");
}

void CheckPasswordFile(const Config& cfg, ExposureCheck& out) {
  const CollectorConfig& col = cfg.collector;
  if (store::PasswordsIn(col.database).empty() && col.mqtt.password.empty()) return;
  struct stat st {};
  if (::stat(cfg.file.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0) return;
  out.warnings.push_back(cfg.file.string() + ": holds a password (" +
                         std::string(col.mqtt.password.empty() ? "Database=" : "MqttPassword=") +
                         ") and every user of this machine may read it: chmod 640 " + cfg.file.string() +
                         " (the database's password is better kept in libpq's passfile, ~/.pgpass or PGPASSFILE)");
}

}  // namespace

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost" || host == "::1" || host == "[::1]") return true;
  in_addr a{};
  return inet_pton(AF_INET, std::string(host).c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

std::filesystem::path InHome(const std::string& setting, const std::filesystem::path& home) {
  const std::filesystem::path p(setting);
  return p.is_absolute() ? p : home / p;
}

ExposureCheck CheckExposure(const Config& cfg, const std::filesystem::path& home, bool serving) {
  ExposureCheck out;
  if (serving && !cfg.collector.http.empty()) CheckHttp(cfg, home, out);
  CheckPasswordFile(cfg, out);
  return out;
}

}  // namespace statvtk::collect
