// What both sides of the TCP channel (POSIX sockets and Winsock 2) share:
// the waits, the check of the target before any socket is made, the outline
// of opening, and the words for every failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/error.hpp"
#include "link/read_buffer.hpp"
#include "link/tcp_channel.hpp"

struct sockaddr_in;  // the system's IPv4 socket address (POSIX and Winsock alike)

namespace statvtk::tcp {

inline constexpr int kConnectSliceMs = 100;  // the abort flag is looked at this often
inline constexpr int kWriteStallMs = 5000;   // longest wait for room in the send buffer

// What both socket channels share: the input buffer, the open state, the
// send loop with its bounded wait for room, and the ways a socket differs
// from a serial line. Each side brings one send, the wait for room, its wait
// for input and its receive (Fill).
class SocketChannel : public ByteChannel {
 public:
  SocketChannel() = default;
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  std::size_t Write(std::span<const std::uint8_t> bytes) override;
  void Purge(std::vector<std::uint8_t>* dropped) override { DropInput(dropped); }
  void DropInput(std::vector<std::uint8_t>* dropped) override {
    buf_.Drain(dropped, [this] { return open_ ? Fill() : 0; });
  }
  std::uint32_t CarrierWaitMs() const override { return 0; }
  bool IsOpen() const override { return open_; }
  void ClearBeforeSend(std::vector<std::uint8_t>* dropped) override { DropInput(dropped); }
  bool CountsShortWrites() const override { return false; }
  ErrorCode GoneCode() const override { return ErrorCode::InvalidSocket; }
  bool CarriesTextLines() const override { return false; }

 protected:
  // Up to kWriteStallMs for room in the send buffer, in kConnectSliceMs
  // slices with the abort flag looked at between them; true when there is room.
  bool WaitForRoom() const;
  // Refills the buffer with what the socket holds; a closed peer clears open_.
  virtual std::size_t Fill() = 0;

  // How one send went when it took no bytes.
  enum class SendStop {
    None,         // bytes were taken
    Interrupted,  // a signal came first: try again
    Full,         // the send buffer is full: wait for room
    Gone,         // the peer closed or reset the connection
    Failed,       // any other error
  };
  struct Sent {
    std::size_t bytes = 0;
    SendStop stop = SendStop::None;
  };
  virtual Sent SendSome(std::span<const std::uint8_t> bytes) = 0;
  // Waits up to `ms` for room to send: true when there is room, false when
  // there is none yet, nullopt when the wait failed.
  virtual std::optional<bool> WaitWritable(int ms) const = 0;

  bool open_ = true;
  ReadBuffer buf_;
};

Error Failure(ErrorCode code, std::string reason);

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
// The endpoint as the socket calls take it.
sockaddr_in SockaddrOf(const Ipv4Endpoint& to);

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

// The system's error numbers that tell the connect faults apart.
struct ConnectErrors {
  int refused = 0;
  int netUnreachable = 0;
  int hostUnreachable = 0;
  int timedOut = 0;   // also given for a wait that ran out of time
  int cancelled = 0;  // also given for a wait the user stopped
};
ConnectFault FaultOf(int err, const ConnectErrors& errors);

// One side's system calls behind OpenSocketChannel.
class SocketOpener {
 public:
  static constexpr int kInProgress = -1;  // StartConnect: the connect goes on

  explicit SocketOpener(const ConnectErrors& errors) : errors_(errors) {}
  virtual ~SocketOpener() = default;

  // Whether the sockets could be started (Winsock); true where they need no start.
  virtual bool SocketsReady() { return true; }
  // Makes a non-blocking IPv4 stream socket; 0, or the system's error.
  virtual int MakeSocket() = 0;
  // Starts connecting to the endpoint: 0 when connected at once,
  // kInProgress while it goes on, else the system's error.
  virtual int StartConnect(const Ipv4Endpoint& to) = 0;
  // Waits up to `ms` for the connect started: nullopt while it goes on, else
  // its result (0: connected, or the system's error).
  virtual std::optional<int> WaitConnect(int ms) = 0;
  // Switches Nagle off and hands the connected socket over as a channel.
  virtual std::unique_ptr<ByteChannel> Finish() = 0;
  // The system's words for an error.
  virtual std::string ErrorText(int err) const = 0;

  const ConnectErrors& Errors() const { return errors_; }

 private:
  ConnectErrors errors_;
};

// Opens the channel to the target: checks and resolves the endpoint, makes
// the socket, connects with a wait bounded by the connect time-out and the
// abort flag, and says what failed.
ChannelOpenResult OpenSocketChannel(const TcpTarget& target, SocketOpener& os);

}  // namespace statvtk::tcp
