// What both socket sides share about IPv4 addresses: the resolver's walk over
// getaddrinfo's answers and the endpoint of a target. The calls are the same
// in POSIX sockets and Winsock 2; only their headers differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <array>

#include "base/error.hpp"
#include "link/tcp_common.hpp"

namespace statvtk::tcp {

std::string FirstIpv4Of(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  std::string text;
  for (const addrinfo* a = found; a && text.empty(); a = a->ai_next) {
    if (a->ai_family != AF_INET) continue;
    std::array<char, INET_ADDRSTRLEN> buf{};
    const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (inet_ntop(AF_INET, &sin->sin_addr, buf.data(), buf.size())) text = buf.data();
  }
  freeaddrinfo(found);
  return text;
}

sockaddr_in SockaddrOf(const Ipv4Endpoint& to) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = to.port;
  addr.sin_addr.s_addr = to.address;
  return addr;
}

Result<Ipv4Endpoint> EndpointOf(const TcpTarget& target, const std::function<bool()>& socketsReady) {
  auto address = TargetAddress(target);
  if (!address) return std::move(address.error());
  if (socketsReady && !socketsReady()) return Failure(ErrorCode::SocketsNotStarted, "Winsock 2 не запустился");
  const std::string dotted = *address;
  in_addr parsed{};
  if (inet_pton(AF_INET, dotted.c_str(), &parsed) != 1)
    return Failure(ErrorCode::BadIpAddress, "«" + dotted + "» не является адресом IPv4 (нужен вид 192.168.0.10)");
  Ipv4Endpoint e;
  e.address = parsed.s_addr;
  e.port = htons(target.port);
  e.where = Where(dotted, target.port);
  return e;
}

}  // namespace statvtk::tcp
