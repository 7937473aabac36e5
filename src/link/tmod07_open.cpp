// Opening the link's carrier (serial port or TCP socket) and the modem's
// text lines over the serial port.
#include <algorithm>
#include <chrono>

#include "link/link_error.hpp"
#include "link/serial_channel.hpp"
#include "link/tcp_channel.hpp"
#include "link/tmod07.hpp"

namespace statvtk {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kLineMax = 254;                  // longest modem reply read at once
constexpr milliseconds kLineTotal{5 * kLineMax + 20};  // the port's read total time-out for it
constexpr milliseconds kLineQuiet{50};                 // a reply has ended after this much silence
constexpr milliseconds kLineSlice{100};                // longest wait between looks at the abort flag

}  // namespace

std::string Tmod07::SerialPath(std::uint32_t comNumber) const {
  if (!portName_.empty()) return portName_;
  return SerialPortPathOf(static_cast<int>(std::min<std::uint32_t>(comNumber, 255)));
}

std::uint32_t Tmod07::NoChannelCode(NoChannel what) const {
  switch (what) {
    case NoChannel::Send: return useTcp_ ? link_error::kInvalidSocket : link_error::kSendFailed;
    case NoChannel::Receive: return useTcp_ ? link_error::kInvalidSocket : link_error::kTimeout;
    case NoChannel::Line: return useTcp_ ? link_error::kOk : link_error::kTimeout;
    case NoChannel::Open: break;
  }
  return useTcp_ ? link_error::kConnect : link_error::kPortInit;
}

bool Tmod07::OpenLink(std::uint32_t comNumber, std::uint32_t baudRate) {
  CloseLink();
  lastError_ = link_error::kOk;
  errorReason_.clear();
  ChannelOpenResult opened = OpenedChannel{};
  if (factory_) {
    if (auto made = factory_(*this)) opened = OpenedChannel{std::move(made), {}};
    else if (lastError_ == link_error::kOk)
      opened = MakeError(static_cast<ErrorCode>(NoChannelCode(NoChannel::Open)), {});
    else opened = MakeError(static_cast<ErrorCode>(lastError_), errorReason_);
  } else if (useTcp_) {
    TcpTarget target;
    target.address = useDynDns_ ? dynDnsName_ : ipAddress_;
    target.useDynDns = useDynDns_;
    target.port = tcpPort_;
    target.connectTimeoutS = connectTimeoutS_;
    target.abort = abort_;
    opened = OpenTcpChannel(target);
  } else {
    opened = OpenSerialChannel(SerialPath(comNumber), baudRate, evenParity_);
  }
  if (!opened) {
    lastError_ = static_cast<std::uint32_t>(opened.error().code);
    errorReason_ = std::move(opened.error().reason);
    return false;
  }
  channel_ = std::move(opened->channel);
  channel_->SetAbortFlag(abort_);
  comNumber_ = comNumber;
  baudRate_ = baudRate;
  // After a successful open the reason holds a note worth logging once (if any).
  errorReason_ = std::move(opened->hint);
  return true;
}

void Tmod07::SendLine(const std::string& text, int ending) {
  if (!channel_) {
    if (const std::uint32_t code = NoChannelCode(NoChannel::Line); code != link_error::kOk) lastError_ = code;
    return;
  }
  if (!channel_->CarriesTextLines()) return;
  std::string line = text;
  if (ending == 1) line += "\r";
  if (ending == 2) line += "\r\n";
  channel_->Purge();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  const std::size_t written = channel_->Write({bytes, line.size()});
  lastError_ = written == line.size() ? link_error::kOk : link_error::kTimeout;
}

std::string Tmod07::ReadLine(milliseconds firstByteWait) {
  if (!channel_ || !channel_->CarriesTextLines()) return {};
  std::string text;
  const auto start = Clock::now();
  const auto firstDeadline = start + std::min(firstByteWait, kLineTotal);
  const auto deadline = start + kLineTotal;
  while (text.size() < kLineMax && !Aborted()) {
    const auto now = Clock::now();
    const auto left = std::chrono::ceil<milliseconds>((text.empty() ? firstDeadline : deadline) - now);
    if (left.count() <= 0) break;
    // Slices of at most 100 ms, so that a stop is seen while the line is awaited.
    const auto wait = std::min(text.empty() ? left : std::min(left, kLineQuiet), kLineSlice);
    const auto byte = channel_->ReadByte(wait);
    if (!byte) {
      if (!text.empty() || !channel_->IsOpen()) break;  // 50 ms of silence end a reply
      continue;
    }
    text.push_back(static_cast<char>(*byte));
  }
  channel_->Purge();
  return text;
}

}  // namespace statvtk
