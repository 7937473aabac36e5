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
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/byte_channel.hpp"
#include "link/frame.hpp"
#include "link/frame_trace.hpp"
#include "link/line_target.hpp"

namespace statvtk {

class Tmod07 {
 public:
  using TraceFn = std::function<void(const FrameTrace&)>;
  // Opens a carrier; tests and the simulator's in-process mode install their own.
  using ChannelFactory = std::function<std::unique_ptr<ByteChannel>(Tmod07& link)>;

  ~Tmod07();
  Tmod07(const Tmod07&) = delete;
  Tmod07& operator=(const Tmod07&) = delete;

  // The line and timing are fixed here; a scan's probe alone retimes a link (SetTiming).
  explicit Tmod07(LineTarget target = SerialLine{}, TimingTriple timing = {60, 100, 10});
  void SetTiming(const TimingTriple& t) { timing_ = t; }
  const TimingTriple& Timing() const { return timing_; }
  const LineTarget& Target() const { return target_; }

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
  std::uint32_t ByteTimeout() const { return timing_.byteTimeout; }
  std::uint32_t ReplyTimeout() const { return timing_.replyTimeout; }
  std::uint32_t Retries() const { return timing_.retries; }
  bool UseTcp() const { return IsTcp(target_); }
  // The serial device path (empty over TCP).
  std::string SerialPath() const;
  bool PortOpen() const { return channel_ != nullptr; }
  std::uint32_t SentCount() const { return sentCount_; }
  std::uint32_t ReplyCount() const { return replyCount_; }
  std::uint32_t ErrorCount() const { return errorCount_; }

  // --- errors ---
  // The failure of the last operation (its code, the system's number, the
  // opening's words); none after a success.
  const std::optional<Error>& LastFailure() const { return error_; }
  // The last operation's link code (0: success).
  std::uint32_t LastError() const { return error_ ? static_cast<std::uint32_t>(error_->code) : 0; }
  // A channel factory that cannot give a channel says why here.
  void SetFailure(Error e) { error_ = std::move(e); }
  std::string ErrorText() const;
  // The last error's cause in words, then its text (LinkCauseText).
  std::string CauseText() const;
  // The last failure as one Error: its code (WrongReply when none was kept),
  // the system's number and the words for it (LinkCauseWords: "нет ответа за
  // 150 мс", or the opening's own words).
  Error Cause() const;
  // The words a service engineer can act on, beside the code (why a port or
  // connection failed), or after a good open a note worth logging once;
  // empty when there is nothing to add.
  std::string ErrorReason() const { return error_ ? error_->reason : openNote_; }

  // --- carrier ---
  bool OpenLink();
  void CloseLink();
  // Installs an already open carrier (closes any open one first).
  void AttachChannel(std::unique_ptr<ByteChannel> channel);
  ByteChannel* Channel() { return channel_.get(); }

  // Modem text lines (serial only; on TCP SendLine does nothing, ReadLine gives "").
  // ending 1 appends "\r", 2 appends "\r\n", others nothing.
  void SendLine(const std::string& text, int ending);
  // Waits at most `firstByteWait` for the reply to start (the abort flag ends
  // the wait), then reads until 50 ms of silence and clears both buffers.
  // LineRest::Keep leaves what arrives after the silence for the next read
  // (a modem's answer right behind the echo of the dial command).
  enum class LineRest { Clear, Keep };
  std::string ReadLine(std::chrono::milliseconds firstByteWait = std::chrono::milliseconds(1290),
                       LineRest rest = LineRest::Clear);

  // --- exchanges ---
  // Short form: sends group/command/data to `address`, receives the reply with
  // retries. True when LastError is 0 and a reply is stored (the stop request
  // gives LastError kAborted and false).
  bool Exchange(std::uint8_t address, std::uint8_t group, std::uint8_t command, std::span<const std::uint8_t> data);
  bool ExchangeLong(std::uint32_t address, std::uint8_t group, std::uint8_t command,
                    std::span<const std::uint8_t> data);
  // The data bytes of the last good reply.
  std::span<const std::uint8_t> ReplyData() const { return {rxBuf_.data() + replyDataOffset_, replyDataLength_}; }

  // One request operation of the protocol's table (`op`: ReadBlock8,
  // ReadBlock16, ReadParams16, ReadArchive32, ReadArchive16, ReadBlock16Long,
  // ReadParams16Long, ReadArchive32Long; its form decides how `address` is
  // sent): on success the reply's data bytes (as many as its length byte
  // says, at most out.size()) are copied to out and true is returned.
  bool Read(frame::Op op, std::uint32_t address, std::uint32_t offset, std::uint8_t count,
            std::span<std::uint8_t> out) {
    return RunOp(op, address, offset, count, out);
  }
  // The identification request: the reply's data as text, empty on failure.
  std::string Identify(std::uint8_t address);
  std::string IdentifyLong(std::uint32_t address);

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
  std::optional<ErrorCode> NoChannelCode(NoChannel what) const;
  void Fail(ErrorCode code) { error_ = MakeError(code, {}); }
  void Succeed() { error_.reset(); }
  // The reception's code for the trace and the test of success.
  std::uint32_t Code() const { return LastError(); }

  std::unique_ptr<ByteChannel> channel_;
  ChannelFactory factory_;
  TraceFn trace_;
  WaitFn wait_;
  void Wait(std::uint32_t ms) const;
  std::atomic<bool> ownAbort_{false};
  std::atomic<bool>* abort_ = &ownAbort_;

  LineTarget target_;
  TimingTriple timing_;
  std::optional<Error> error_;
  std::string openNote_;
  std::uint32_t sentCount_ = 0;
  std::uint32_t replyCount_ = 0;
  std::uint32_t errorCount_ = 0;

  std::array<std::uint8_t, frame::kMaxLongFrame> rxBuf_{};
  std::size_t replyDataOffset_ = 0;
  std::size_t replyDataLength_ = 0;
};

}  // namespace statvtk
