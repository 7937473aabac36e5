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
  if (::stat(key.c_str(), &st) != 0) return key.string() + ": нет такого файла (HttpKey=)";
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    return key.string() + ": закрытый ключ могут читать другие пользователи; chmod 600 " + key.string();
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
      out.refusals.push_back(at + InHome(col.httpCert, home).string() + ": нет такого файла (HttpCert=)");
  }
  const TokenFile tokens(InHome(col.httpTokens, home));
  const auto entries = tokens.Read();
  if (!entries) {
    out.refusals.push_back(at + entries.error().reason);
    return;
  }
  if (IsLoopbackHost(address->host) || (tls && !entries->empty())) return;
  std::string missing;
  if (entries->empty()) missing = "нет токена в " + tokens.Path().string() + " (statvtk-collect token add ИМЯ)";
  if (!tls) missing += std::string(missing.empty() ? "" : " и ") + "нет HttpCert=/HttpKey= (HTTPS)";
  if (col.httpInsecure)
    out.warnings.push_back(at + "Http=" + col.http + " открыт в сеть, хотя " + missing +
                           " (HttpInsecure=1): данные приборов прочтёт любой, кто до него достучится");
  else
    out.refusals.push_back(at + "Http=" + col.http + ": этот адрес доступен с других машин, но " + missing +
                           ": создайте токен и задайте HttpCert= и HttpKey=, слушайте на 127.0.0.1 за прокси "
                           "или задайте HttpInsecure=1, чтобы открыть доступ без защиты");
}

void CheckPasswordFile(const Config& cfg, ExposureCheck& out) {
  const CollectorConfig& col = cfg.collector;
  if (store::PasswordsIn(col.database).empty() && col.mqtt.password.empty()) return;
  struct stat st {};
  if (::stat(cfg.file.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0) return;
  out.warnings.push_back(cfg.file.string() + ": в файле пароль (" +
                         std::string(col.mqtt.password.empty() ? "Database=" : "MqttPassword=") +
                         "), а читать его может любой пользователь этой машины: chmod 640 " + cfg.file.string() +
                         " (пароль базы данных лучше хранить в passfile libpq, ~/.pgpass или PGPASSFILE)");
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
