#include "collect/http/listen_address.hpp"

#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace statvtk::collect {

Result<ListenAddress> ListenAddressOf(const HostPort& at) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(at.port);
  if (::getaddrinfo(at.host.empty() ? nullptr : at.host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
    return CannotListen(at);
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
  ListenAddress a;
  a.length = found->ai_addrlen;
  a.v6 = found->ai_family == AF_INET6;
  std::memcpy(&a.address, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof a.address));
  return a;
}

Error CannotListen(const HostPort& at) {
  if (at.port == 0) return MakeError(ErrorCode::BadSettings, "Http: не удалось слушать на " + at.host);
  return MakeError(ErrorCode::BadSettings, "Http: не удалось слушать на " + at.host + ":" + std::to_string(at.port) +
                                               " (порт занят или такого адреса нет)");
}

}  // namespace statvtk::collect
