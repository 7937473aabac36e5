// TCP channel: IPv4, non-blocking, TCP_NODELAY, connect with a time-out.
// Two sides: POSIX sockets (tcp_channel_posix.cpp) and Winsock 2 (tcp_channel_win32.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/serial_channel.hpp"

namespace statvtk {

struct TcpTarget {
  std::string address;     // dotted IPv4 text, or a host name when useDynDns
  bool useDynDns = false;  // resolve `address` with getaddrinfo
  std::uint16_t port = 0;
  std::uint32_t connectTimeoutS = 5;
  const std::atomic<bool>* abort = nullptr;  // ends the connect wait early
  // Turns a host name into dotted IPv4 text ("" when it does not resolve);
  // empty means the system resolver (ResolveIpv4). Tests install their own.
  std::function<std::string(const std::string& name)> resolve;
};

// The first IPv4 address of a host name as dotted text (getaddrinfo, AF_INET);
// empty when the name does not resolve.
std::string ResolveIpv4(const std::string& name);

// Codes: 111 bad or unresolved address, 101 no socket, 105 connect failed or timed out.
ChannelOpenResult OpenTcpChannel(const TcpTarget& target);

#ifndef _WIN32
// A channel over a socket already connected (a modem that called in), handed
// over whole: made non-blocking with Nagle off; the channel closes it.
std::unique_ptr<ByteChannel> ChannelOfSocket(int fd);
#endif

}  // namespace statvtk
