// Tmod07: sending requests, receiving and checking replies, retries, the
// request operations and the frame trace. Opening the carrier and the modem
// text lines live in tmod07_open.cpp.
#include "link/tmod07.hpp"

#include <algorithm>
#include <optional>

#include "base/device_values.hpp"
#include "link/link_cause.hpp"
#include "base/error.hpp"

namespace statvtk {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Longest single wait on the channel: the abort flag is tested between them.
constexpr std::uint32_t kSliceMs = 20;
// Extra time a long-form reply is given to start: the instrument may take up
// to 50 ms before it answers. It lengthens the wait for the first byte; a
// reply that starts sooner is taken at once.
constexpr std::uint32_t kLongReplyDelayMs = 50;

// Time allowed for one reply byte with allowance T: (T/10 div 2 + 1) attempts,
// each worth 20 ms plus the carrier's own read wait.
std::uint32_t ByteBudgetMs(std::uint32_t t, std::uint32_t carrierWaitMs) {
  const std::uint64_t attempts = t / 10 / 2 + 1;
  const std::uint64_t ms = attempts * (kSliceMs + static_cast<std::uint64_t>(carrierWaitMs));
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, 0xFFFFFFFFu));
}

enum class WaitEnd { Byte, Timeout, Abort };

struct ByteWait {
  WaitEnd end;
  std::uint8_t byte = 0;
};

// Waits on the channel for one byte, in slices of at most 20 ms with the abort
// flag tested before each. The budget counts from `start`; it is spent when
// the clock passes it or when the slices that ended empty add up to it (so a
// channel that answers "nothing" at once still ends the wait).
ByteWait WaitForByte(ByteChannel& channel, const std::atomic<bool>& abort, Clock::time_point start,
                     std::uint32_t budgetMs) {
  const auto deadline = start + milliseconds(budgetMs);
  std::uint64_t waitedMs = 0;
  for (;;) {
    if (abort.load(std::memory_order_relaxed)) return {WaitEnd::Abort};
    const auto now = Clock::now();
    if (now >= deadline || waitedMs >= budgetMs) return {WaitEnd::Timeout};
    const auto leftClock = std::chrono::ceil<milliseconds>(deadline - now).count();
    const auto left = std::min<std::uint64_t>(static_cast<std::uint64_t>(leftClock), budgetMs - waitedMs);
    const auto slice = std::min<std::uint64_t>(left, kSliceMs);
    if (auto b = channel.ReadByte(milliseconds(slice))) return {WaitEnd::Byte, *b};
    waitedMs += slice;
  }
}

// The failure of a finished reception; none for a good frame.
std::optional<ErrorCode> CodeOf(frame::FrameParser::Status s) {
  switch (s) {
    case frame::FrameParser::Status::Complete: return std::nullopt;
    case frame::FrameParser::Status::BadAddress: return ErrorCode::BadAddress;
    case frame::FrameParser::Status::BadSize: return ErrorCode::BadSize;
    case frame::FrameParser::Status::BadChecksum: return ErrorCode::BadChecksum;
    case frame::FrameParser::Status::NeedMore: break;
  }
  return ErrorCode::Timeout;
}

}  // namespace

Tmod07::Tmod07(LineTarget target, TimingTriple timing) : target_(std::move(target)), timing_(timing) {}
Tmod07::~Tmod07() = default;

std::string Tmod07::ErrorText() const { return LinkCodeText(LastError()); }

namespace {
LinkCauseContext CauseContext(const TimingTriple& timing, const LineTarget& target, std::string reason) {
  LinkCauseContext c;
  c.replyTimeoutMs = timing.replyTimeout;
  c.reason = std::move(reason);
  if (const auto* tcp = std::get_if<TcpLine>(&target)) c.where = tcp->Where();
  return c;
}
}  // namespace

std::string Tmod07::CauseText() const {
  return LinkCauseText(LastError(), CauseContext(timing_, target_, ErrorReason()));
}

Error Tmod07::Cause() const {
  const ErrorCode code = error_ ? error_->code : ErrorCode::WrongReply;
  const std::string words = LinkCauseWords(CodeNumber(code), CauseContext(timing_, target_, ErrorReason()));
  return MakeError(code, words, error_ ? error_->systemCode : 0);
}

void Tmod07::CloseLink() { channel_.reset(); }

void Tmod07::AttachChannel(std::unique_ptr<ByteChannel> channel) {
  CloseLink();
  channel_ = std::move(channel);
  if (channel_) channel_->SetAbortFlag(abort_);
}

void Tmod07::Trace(FrameTrace::Direction dir, std::span<const std::uint8_t> bytes, std::uint32_t result) {
  if (trace_) trace_(FrameTrace{std::chrono::system_clock::now(), dir, bytes, result});
}

// --- sending ---

bool Tmod07::SendFrame(std::span<const std::uint8_t> frame) {
  if (!channel_ || !channel_->IsOpen()) {
    Fail(channel_ ? channel_->GoneCode() : *NoChannelCode(NoChannel::Send));
    return false;
  }
  std::vector<std::uint8_t> dropped;
  std::vector<std::uint8_t>* late = trace_ ? &dropped : nullptr;
  channel_->ClearBeforeSend(late);
  if (!dropped.empty()) Trace(FrameTrace::Direction::Late, dropped, 0);

  const std::size_t written = channel_->Write(frame);
  const bool whole = written == frame.size();
  if (whole || channel_->CountsShortWrites()) ++sentCount_;
  if (whole) Succeed();
  else Fail(ErrorCode::SendFailed);
  Trace(FrameTrace::Direction::Sent, frame, Code());
  return whole;
}

// --- receiving ---

std::size_t Tmod07::ReceiveFrame(frame::Form form, std::uint32_t firstExtraMs) {
  replyDataOffset_ = 0;
  replyDataLength_ = 0;
  if (Aborted()) {
    Fail(ErrorCode::Stopped);
    return 0;
  }
  if (!channel_) {
    Fail(*NoChannelCode(NoChannel::Receive));
    return 0;
  }
  const bool tracing = static_cast<bool>(trace_);
  std::vector<std::uint8_t> seen;  // every byte read, garbage included (trace only)
  const std::uint32_t carrier = channel_->CarrierWaitMs();
  const std::uint64_t firstSum = static_cast<std::uint64_t>(ByteBudgetMs(timing_.replyTimeout, carrier)) + firstExtraMs;
  const auto firstBudget = static_cast<std::uint32_t>(std::min<std::uint64_t>(firstSum, 0xFFFFFFFFu));
  const std::uint32_t nextBudget = ByteBudgetMs(timing_.byteTimeout, carrier);

  frame::FrameParser parser(form, frame::kReplyStart);
  // The first byte's budget counts from the start of the reception and is not
  // renewed by garbage before the start byte: a stream of noise still ends.
  auto start = Clock::now();
  for (;;) {
    const bool first = parser.Size() == 0;
    const ByteWait w = WaitForByte(*channel_, *abort_, start, first ? firstBudget : nextBudget);
    if (w.end == WaitEnd::Abort) {
      Fail(ErrorCode::Stopped);
      // The bytes heard before the stop are traced as a plain reception.
      if (!seen.empty()) Trace(FrameTrace::Direction::Received, seen, 0);
      return 0;
    }
    if (w.end == WaitEnd::Timeout) {
      Fail(ErrorCode::Timeout);
      ++errorCount_;
      Trace(FrameTrace::Direction::Received, seen, Code());
      return 0;
    }
    if (tracing) seen.push_back(w.byte);
    const auto status = parser.Push(w.byte);
    if (parser.Size() > 0) start = Clock::now();
    if (status == frame::FrameParser::Status::NeedMore) continue;

    if (const auto failed = CodeOf(status)) Fail(*failed);
    else Succeed();
    std::size_t size = 0;
    if (status == frame::FrameParser::Status::Complete || status == frame::FrameParser::Status::BadChecksum) {
      ++replyCount_;
      const auto bytes = parser.Bytes();
      std::copy(bytes.begin(), bytes.end(), rxBuf_.begin());
      size = bytes.size();
    }
    if (!error_) {
      replyDataOffset_ = frame::HeaderSize(form);
      replyDataLength_ = parser.DataLength();
    } else {
      ++errorCount_;
    }
    Trace(FrameTrace::Direction::Received, seen, Code());
    return size;
  }
}

// --- exchanges ---

void Tmod07::Wait(std::uint32_t ms) const {
  if (wait_) wait_(ms);
  else WaitMs(ms);
}

bool Tmod07::PauseBetweenAttempts() {
  const std::uint32_t steps = timing_.replyTimeout / 20 + 1;
  for (std::uint32_t i = 0; i < steps; ++i) {
    Wait(kSliceMs);
    if (Aborted()) return false;
  }
  return true;
}

// Waits `ms` in slices of at most 20 ms; false when the abort flag was raised.
bool Tmod07::AbortableWait(std::uint32_t ms) {
  while (ms > 0) {
    if (Aborted()) return false;
    const std::uint32_t step = std::min(ms, kSliceMs);
    Wait(step);
    ms -= step;
  }
  return !Aborted();
}

bool Tmod07::Exchange(std::uint8_t address, std::uint8_t group, std::uint8_t command,
                      std::span<const std::uint8_t> data) {
  const auto request = frame::BuildShort(frame::kRequestStart, address, group, command, data);
  return RunExchange(frame::Form::Short, request, group, command);
}

bool Tmod07::ExchangeLong(std::uint32_t address, std::uint8_t group, std::uint8_t command,
                          std::span<const std::uint8_t> data) {
  const auto request = frame::BuildLong(frame::kRequestStart, address, group, command, data);
  return RunExchange(frame::Form::Long, request, group, command);
}

// Both forms: send, receive, check group and command, retry. The short form
// pauses between attempts; the long form does not, but gives the reply's first
// byte 50 ms more. With a wait function installed (fast fuzzing) those 50 ms
// go through it after the send, as a fixed wait.
// A valid reply to another group or command is never taken as this request's
// data: it is retried, and the last attempt ending so fails with kWrongReply.
bool Tmod07::RunExchange(frame::Form form, std::span<const std::uint8_t> request, std::uint8_t group,
                         std::uint8_t command) {
  const std::uint32_t attempts = std::max<std::uint32_t>(timing_.retries, 1);
  for (std::uint32_t attempt = 1; attempt <= attempts; ++attempt) {
    if (Aborted()) {
      Fail(ErrorCode::Stopped);
      return false;
    }
    if (SendFrame(request)) {
      std::uint32_t firstExtraMs = 0;
      if (form == frame::Form::Long) {
        if (!wait_) {
          firstExtraMs = kLongReplyDelayMs;
        } else if (!AbortableWait(kLongReplyDelayMs)) {
          Fail(ErrorCode::Stopped);
          return false;
        }
      }
      ReceiveFrame(form, firstExtraMs);
      if (error_ && error_->IsStop()) return false;
      if (!error_) {
        const std::size_t header = frame::HeaderSize(form);
        if (rxBuf_[header - 3] == group && rxBuf_[header - 2] == command) return true;
        Fail(ErrorCode::WrongReply);
        ++errorCount_;
        replyDataLength_ = 0;
      }
    } else if (!channel_ || !channel_->IsOpen()) {
      return false;  // nothing to retry on
    }
    if (attempt < attempts && form == frame::Form::Short && !PauseBetweenAttempts()) {
      Fail(ErrorCode::Stopped);
      return false;
    }
  }
  return false;
}

// --- request operations ---

bool Tmod07::RunOp(frame::Op op, std::uint32_t address, std::uint32_t offset, std::uint8_t count,
                   std::span<std::uint8_t> out) {
  const frame::RequestBody body = frame::EncodeRequest(op, offset, count);
  const bool ok = frame::FormOf(op) == frame::Form::Short
                      ? Exchange(static_cast<std::uint8_t>(address), body.group, body.command, body.data)
                      : ExchangeLong(address, body.group, body.command, body.data);
  if (!ok) return false;
  const auto reply = ReplyData();
  const std::size_t n = std::min(reply.size(), out.size());
  std::copy_n(reply.begin(), n, out.begin());
  return true;
}

std::string Tmod07::Identify(std::uint8_t address) {
  if (!RunOp(frame::Op::Identify, address, 0, 0, {})) return {};
  const auto reply = ReplyData();
  return std::string(reply.begin(), reply.end());
}

std::string Tmod07::IdentifyLong(std::uint32_t address) {
  if (!RunOp(frame::Op::IdentifyLong, address, 0, 0, {})) return {};
  const auto reply = ReplyData();
  return std::string(reply.begin(), reply.end());
}

}  // namespace statvtk
