// What both sides of the TCP channel (POSIX sockets and Winsock 2) share:
// the waits, the check of the target before any socket is made, and the
// words for every failure.
#pragma once

#include <cstdint>
#include <string>
#include <functional>

#include "link/link_error.hpp"
#include "link/read_buffer.hpp"
#include "link/tcp_channel.hpp"

namespace statvtk::tcp {

// What both socket channels share: the input buffer, the open state and the
// ways a socket differs from a serial line. Each side brings its send, its
// wait for input and its receive (Fill).
class SocketChannel : public ByteChannel {
 public:
  void Purge(std::vector<std::uint8_t>* dropped) override { DropInput(dropped); }
  void DropInput(std::vector<std::uint8_t>* dropped) override {
    buf_.Drain(dropped, [this] { return open_ ? Fill() : 0; });
  }
  std::uint32_t CarrierWaitMs() const override { return 0; }
  bool IsOpen() const override { return open_; }
  void ClearBeforeSend(std::vector<std::uint8_t>* dropped) override { DropInput(dropped); }
  bool CountsShortWrites() const override { return false; }
  std::uint32_t GoneCode() const override { return link_error::kInvalidSocket; }
  bool CarriesTextLines() const override { return false; }

 protected:
  // Refills the buffer with what the socket holds; a closed peer clears open_.
  virtual std::size_t Fill() = 0;

  bool open_ = true;
  ReadBuffer buf_;
};

inline constexpr int kConnectSliceMs = 100;  // the abort flag is looked at this often
inline constexpr int kWriteStallMs = 5000;   // longest wait for room in the send buffer

Error Failure(std::uint32_t code, std::string reason);

// The dotted IPv4 text to connect to (resolved when useDynDns), or the failure (code 111).
Result<std::string> TargetAddress(const TcpTarget& target);

// "192.168.0.10:10001"
std::string Where(const std::string& dotted, std::uint16_t port);

// The first IPv4 address of a host name as dotted text, from the system's
// resolver (the sockets must be started); empty when the name does not resolve.
std::string FirstIpv4Of(const std::string& name);

// Where a socket connects: the IPv4 address and port in network order, and
// their text for messages.
struct Ipv4Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  std::string where;
};
// The target's endpoint (resolved when useDynDns), or the failure: code 111 for
// a bad or unresolved address, 102 when `socketsReady` says the sockets did not start.
Result<Ipv4Endpoint> EndpointOf(const TcpTarget& target, const std::function<bool()>& socketsReady = {});

enum class ConnectFault {
  Refused,      // nobody listens there
  Unreachable,  // no route
  TimedOut,     // no answer within the connect time-out
  Aborted,      // the user stopped the wait
  Other,
};
// Reason for a failed connect (code 105); `detail` is the system's words for Other.
Error ConnectFailure(ConnectFault fault, const TcpTarget& target, const std::string& where,
                     const std::string& detail = {});
// Reason for a socket that could not be made (code 101).
Error SocketFailure(const std::string& detail);

}  // namespace statvtk::tcp
