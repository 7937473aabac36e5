#include "link/tcp_common.hpp"

#include <algorithm>
#include <utility>

#include "link/link_error.hpp"

namespace statvtk::tcp {

ChannelOpenResult Failure(std::uint32_t code, std::string reason) {
  ChannelOpenResult r;
  r.code = code;
  r.reason = std::move(reason);
  return r;
}

std::variant<std::string, ChannelOpenResult> TargetAddress(const TcpTarget& target) {
  if (target.address.empty()) return Failure(link_error::kBadIpAddress, "адрес устройства не задан");
  std::string dotted = target.address;
  if (target.useDynDns) {
    dotted = target.resolve ? target.resolve(target.address) : ResolveIpv4(target.address);
    if (dotted.empty()) {
      return Failure(link_error::kBadIpAddress,
                     "имя " + target.address + " не найдено в DNS: проверьте имя и доступ к сети");
    }
  }
  return dotted;
}

std::string Where(const std::string& dotted, std::uint16_t port) { return dotted + ":" + std::to_string(port); }

ChannelOpenResult ConnectFailure(ConnectFault fault, const TcpTarget& target, const std::string& where,
                                 const std::string& detail) {
  switch (fault) {
    case ConnectFault::TimedOut:
      return Failure(link_error::kConnect, "нет ответа от " + where + " за " +
                                               std::to_string(std::max<std::uint32_t>(target.connectTimeoutS, 1)) +
                                               " с: проверьте адрес, порт и питание преобразователя");
    case ConnectFault::Aborted: return Failure(link_error::kConnect, "подключение к " + where + " прервано пользователем");
    case ConnectFault::Refused:
      return Failure(link_error::kConnect, "соединение отвергнуто: на " + where + " никто не принимает подключения");
    case ConnectFault::Unreachable:
      return Failure(link_error::kConnect, "адрес " + where + " недоступен: нет маршрута в сеть");
    case ConnectFault::Other: break;
  }
  return Failure(link_error::kConnect, "не удалось подключиться к " + where + ": " + detail);
}

ChannelOpenResult SocketFailure(const std::string& detail) {
  return Failure(link_error::kInvalidSocket, "не удалось создать сокет: " + detail);
}

}  // namespace statvtk::tcp
