// Tmod07: the link to one flowmeter for one reading job. It owns the open
// carrier (serial port or TCP socket), frames requests, sends them, receives
// and checks replies, repeats failed exchanges and keeps the last error code.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/byte_channel.hpp"
#include "link/frame.hpp"
#include "link/frame_trace.hpp"

namespace statvtk {

class Tmod07 {
 public:
  using TraceFn = std::function<void(const FrameTrace&)>;
  // Opens a carrier; tests and the simulator's in-process mode install their own.
  using ChannelFactory = std::function<std::unique_ptr<ByteChannel>(Tmod07& link)>;

  Tmod07();
  ~Tmod07();
  Tmod07(const Tmod07&) = delete;
  Tmod07& operator=(const Tmod07&) = delete;

  // --- setters (called by the reading job before it opens the link) ---
  void SetByteTimeout(std::uint32_t ms) { byteTimeout_ = ms; }
  void SetReplyTimeout(std::uint32_t ms) { replyTimeout_ = ms; }
  void SetRetries(std::uint32_t n) { retries_ = n; }
  void SetUseTcp(bool on) { useTcp_ = on; }
  void SetIpAddress(const std::string& text);  // ignored unless it contains "."
  void SetTcpPort(std::uint16_t port) { tcpPort_ = port; }
  void SetUseGate(bool on) { useGate_ = on; }
  void SetUseDynDNS(bool on) { useDynDns_ = on; }
  void SetDynDnsName(const std::string& text);  // ignored unless it contains "."
  void SetEvenParity(bool on) { evenParity_ = on; }
  // Device path of the serial port; empty means the system name of port number n (SerialPortPathOf).
  void SetPortName(const std::string& path) { portName_ = path; }
  void SetConnectTimeout(std::uint32_t seconds) { connectTimeoutS_ = seconds; }
  // The abort flag polled inside every wait; by default the link's own.
  void SetAbortFlag(std::atomic<bool>* flag) {
    abort_ = flag ? flag : &ownAbort_;
    if (channel_) channel_->SetAbortFlag(abort_);
  }
  std::atomic<bool>& AbortFlag() { return *abort_; }
  void SetTrace(TraceFn fn) { trace_ = std::move(fn); }
  // Replaces the fixed waits (the pause between attempts) by `fn`(ms); empty:
  // real waits (WaitMs). With it, the long form's 50 ms for the reply to start
  // becomes such a wait after the send instead of part of the reply's wait.
  // For fast fuzzing.
  using WaitFn = std::function<void(std::uint32_t ms)>;
  void SetWaitFunction(WaitFn fn) { wait_ = std::move(fn); }
  // Replaces how OpenLink obtains its carrier (tests: an in-memory pipe).
  void SetChannelFactory(ChannelFactory f) { factory_ = std::move(f); }

  // --- getters ---
  std::uint32_t ByteTimeout() const { return byteTimeout_; }
  std::uint32_t ReplyTimeout() const { return replyTimeout_; }
  std::uint32_t Retries() const { return retries_; }
  bool UseTcp() const { return useTcp_; }
  const std::string& IpAddress() const { return ipAddress_; }
  std::uint16_t TcpPort() const { return tcpPort_; }
  bool UseGate() const { return useGate_; }
  bool UseDynDNS() const { return useDynDns_; }
  const std::string& DynDnsName() const { return dynDnsName_; }
  bool EvenParity() const { return evenParity_; }
  const std::string& PortName() const { return portName_; }
  // The serial device path for port number n: PortName, or SerialPortPathOf(n).
  std::string SerialPath(std::uint32_t comNumber) const;
  std::uint32_t ConnectTimeoutSeconds() const { return connectTimeoutS_; }
  bool PortOpen() const { return channel_ != nullptr; }
  std::uint32_t ComNumber() const { return comNumber_; }
  std::uint32_t BaudRate() const { return baudRate_; }
  std::uint32_t SentCount() const { return sentCount_; }
  std::uint32_t ReplyCount() const { return replyCount_; }
  std::uint32_t ErrorCount() const { return errorCount_; }

  // --- errors ---
  std::uint32_t LastError() const { return lastError_; }
  void SetLastError(std::uint32_t code) { lastError_ = code; }
  std::string ErrorText() const;
  // The last error's cause in words, then its text (LinkCauseText).
  std::string CauseText() const;
  // The words a service engineer can act on, beside the code (why a port or
  // connection failed); empty when there is nothing to add.
  const std::string& ErrorReason() const { return errorReason_; }
  void SetErrorReason(std::string r) { errorReason_ = std::move(r); }

  // --- carrier ---
  bool OpenLink(std::uint32_t comNumber, std::uint32_t baudRate);
  void CloseLink();
  // Installs an already open carrier (closes any open one first).
  void AttachChannel(std::unique_ptr<ByteChannel> channel);
  ByteChannel* Channel() { return channel_.get(); }

  // Modem text lines (serial only; on TCP SendLine does nothing, ReadLine gives "").
  // ending 1 appends "\r", 2 appends "\r\n", others nothing.
  void SendLine(const std::string& text, int ending);
  // Waits at most `firstByteWait` for the reply to start (the abort flag ends
  // the wait), then reads until 50 ms of silence.
  std::string ReadLine(std::chrono::milliseconds firstByteWait = std::chrono::milliseconds(1290));

  // --- exchanges ---
  // Short form: sends group/command/data to `address`, receives the reply with
  // retries. True when LastError is 0 and a reply is stored (the stop request
  // gives LastError kAborted and false).
  bool Exchange(std::uint8_t address, std::uint8_t group, std::uint8_t command, std::span<const std::uint8_t> data);
  bool ExchangeLong(std::uint32_t address, std::uint8_t group, std::uint8_t command,
                    std::span<const std::uint8_t> data);
  // The data bytes of the last good reply.
  std::span<const std::uint8_t> ReplyData() const { return {rxBuf_.data() + replyDataOffset_, replyDataLength_}; }

  // Request operations: on success the reply's data bytes (as many as its
  // length byte says, at most out.size()) are copied to out and true is returned.
  std::string Identify(std::uint8_t address);
  std::string IdentifyLong(std::uint32_t address);
  bool ReadBlock8(std::uint8_t address, std::uint8_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadBlock16(std::uint8_t address, std::uint16_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadParams16(std::uint8_t address, std::uint16_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadArchive32(std::uint8_t address, std::uint32_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadArchive16(std::uint8_t address, std::uint16_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadBlock16Long(std::uint32_t address, std::uint16_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadParams16Long(std::uint32_t address, std::uint16_t offset, std::uint8_t count, std::span<std::uint8_t> out);
  bool ReadArchive32Long(std::uint32_t address, std::uint32_t offset, std::uint8_t count, std::span<std::uint8_t> out);

 private:
  bool SendFrame(std::span<const std::uint8_t> frame);
  // `firstExtraMs` lengthens the first byte's budget (the long form's 50 ms).
  std::size_t ReceiveFrame(frame::Form form, std::uint32_t firstExtraMs);
  bool Aborted() const { return abort_->load(std::memory_order_relaxed); }
  bool PauseBetweenAttempts();           // false when aborted
  bool AbortableWait(std::uint32_t ms);  // false when aborted
  // Send, receive and retry for both forms; true with a good reply to group/command.
  bool RunExchange(frame::Form form, std::span<const std::uint8_t> request, std::uint8_t group, std::uint8_t command);
  bool RunOp(frame::Op op, std::uint32_t address, std::uint32_t offset, std::uint8_t count,
             std::span<std::uint8_t> out);
  void Trace(FrameTrace::Direction dir, std::span<const std::uint8_t> bytes, std::uint32_t result);
  // What the link reports while it has no channel at all: the codes of the
  // chosen carrier kind (UseTcp) for a send, a reception, a text line (kOk:
  // nothing) and an open that gave no channel. Everything that differs
  // between open carriers is the channel's own (ByteChannel).
  enum class NoChannel { Send, Receive, Line, Open };
  std::uint32_t NoChannelCode(NoChannel what) const;

  std::unique_ptr<ByteChannel> channel_;
  ChannelFactory factory_;
  TraceFn trace_;
  WaitFn wait_;
  void Wait(std::uint32_t ms) const;
  std::atomic<bool> ownAbort_{false};
  std::atomic<bool>* abort_ = &ownAbort_;

  bool useTcp_ = false;
  bool useGate_ = false;
  bool useDynDns_ = false;
  bool evenParity_ = false;
  std::string ipAddress_;
  std::string dynDnsName_;
  std::string portName_;
  std::uint16_t tcpPort_ = 0;
  std::uint32_t connectTimeoutS_ = 5;
  std::uint32_t comNumber_ = 0;
  std::uint32_t baudRate_ = 0;

  std::uint32_t lastError_ = 0;
  std::string errorReason_;
  std::uint32_t sentCount_ = 0;
  std::uint32_t replyCount_ = 0;
  std::uint32_t errorCount_ = 0;
  std::uint32_t byteTimeout_ = 60;
  std::uint32_t replyTimeout_ = 100;
  std::uint32_t retries_ = 10;

  std::array<std::uint8_t, frame::kMaxLongFrame> rxBuf_{};
  std::size_t replyDataOffset_ = 0;
  std::size_t replyDataLength_ = 0;
};

}  // namespace statvtk
