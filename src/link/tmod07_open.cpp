// Opening the link's carrier (serial port or TCP socket) and the modem's
// text lines over the serial port.
#include <algorithm>
#include <chrono>

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

std::string SerialLine::Path() const { return portName.empty() ? SerialPortPathOf(comPort) : portName; }

std::string Tmod07::SerialPath() const {
  const auto* serial = std::get_if<SerialLine>(&target_);
  return serial ? serial->Path() : std::string();
}

std::optional<ErrorCode> Tmod07::NoChannelCode(NoChannel what) const {
  const bool tcp = UseTcp();
  switch (what) {
    case NoChannel::Send: return tcp ? ErrorCode::InvalidSocket : ErrorCode::SendFailed;
    case NoChannel::Receive: return tcp ? ErrorCode::InvalidSocket : ErrorCode::Timeout;
    case NoChannel::Line:
      if (tcp) return std::nullopt;
      return ErrorCode::Timeout;
    case NoChannel::Open: break;
  }
  return tcp ? ErrorCode::Connect : ErrorCode::PortInit;
}

bool Tmod07::OpenLink() {
  CloseLink();
  error_.reset();
  openNote_.clear();
  ChannelOpenResult opened = OpenedChannel{};
  if (factory_) {
    if (auto made = factory_(*this)) opened = OpenedChannel{std::move(made), {}};
    else if (!error_) opened = MakeError(*NoChannelCode(NoChannel::Open), {});
    else opened = *error_;
  } else if (const auto* tcp = std::get_if<TcpLine>(&target_)) {
    TcpTarget target;
    target.address = tcp->Address();
    target.useDynDns = tcp->useDynDns;
    target.port = tcp->port;
    target.connectTimeoutS = tcp->connectTimeoutS;
    target.abort = abort_;
    opened = OpenTcpChannel(target);
  } else {
    const auto& serial = std::get<SerialLine>(target_);
    opened = OpenSerialChannel(serial.Path(), serial.baud, serial.evenParity);
  }
  if (!opened) {
    error_ = std::move(opened.error());
    return false;
  }
  channel_ = std::move(opened->channel);
  channel_->SetAbortFlag(abort_);
  error_.reset();
  openNote_ = std::move(opened->hint);
  return true;
}

void Tmod07::SendLine(const std::string& text, int ending) {
  if (!channel_) {
    if (const auto code = NoChannelCode(NoChannel::Line)) Fail(*code);
    return;
  }
  if (!channel_->CarriesTextLines()) return;
  std::string line = text;
  if (ending == 1) line += "\r";
  if (ending == 2) line += "\r\n";
  channel_->Purge();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  const std::size_t written = channel_->Write({bytes, line.size()});
  if (written == line.size()) Succeed();
  else Fail(ErrorCode::Timeout);
}

std::string Tmod07::ReadLine(milliseconds firstByteWait, LineRest rest) {
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
  if (rest == LineRest::Clear) channel_->Purge();
  return text;
}

}  // namespace statvtk
