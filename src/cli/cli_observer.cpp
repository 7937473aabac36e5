#include "cli/cli_observer.hpp"

#include <algorithm>
#include <ctime>

#include "base/local_time.hpp"
#include "base/printable_text.hpp"
#include "reports/message_log.hpp"

namespace statvtk::cli {

namespace {
std::tm LocalTm(std::chrono::system_clock::time_point t) { return LocalTime(t); }

// The log window shows a line break of a message as a new line; no other
// control character reaches the terminal.
std::string Lines(const std::string& message) {
  const std::string text = LogSafeText(message);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}
}  // namespace

std::string LogStamp(std::chrono::system_clock::time_point t) { return LogStampText(LocalTm(t)); }

CliObserver::CliObserver(std::ostream& err, bool progressBar) : err_(err), bar_(progressBar) {}

void CliObserver::Line(const std::string& text) {
  ClearBar();
  err_ << text << '\n';
  err_.flush();
  DrawBar(true);
}

void CliObserver::LogLine(const std::string& text) { Line(LogStamp(std::chrono::system_clock::now()) + Lines(text)); }

void CliObserver::ShowStatus(const std::string& text) {
  if (text.empty() || text == status_) {
    status_ = text;
    return;
  }
  status_ = text;
  Line(LogStamp(std::chrono::system_clock::now()) + "* " + Lines(text));
}

void CliObserver::ShowDetail(const std::string& text) {
  detail_ = text;
  DrawBar(false);
}

void CliObserver::SetProgressMax(int max) {
  max_ = max;
  DrawBar(false);
}

void CliObserver::SetProgressPos(int pos) {
  pos_ = pos;
  DrawBar(false);
}

void CliObserver::EnableControls() {
  status_.clear();
  ClearBar();
}

void CliObserver::DeliverStatistics(const StatData& data, const std::string& caption, bool) {
  stats_ = data;
  caption_ = caption;
}

void CliObserver::DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type,
                                 const std::string& serial) {
  std::copy(block.begin(), block.end(), current_.begin());
  currentType_ = type;
  currentSerial_ = serial;
  hasCurrent_ = true;
}

void CliObserver::Trace(const FrameTrace& f) { Line(FrameTraceLine(f)); }

void CliObserver::ClearBar() {
  if (!barShown_) return;
  err_ << "\r\033[K";
  barShown_ = false;
}

void CliObserver::DrawBar(bool force) {
  if (!bar_ || max_ <= 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && barShown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  constexpr int kWidth = 30;
  const int p = std::clamp(pos_, 0, max_);
  const int filled = static_cast<int>(static_cast<long long>(p) * kWidth / max_);
  std::string bar = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                    std::to_string(p * 100 / max_) + "%  " + detail_ + "\033[K";
  err_ << bar;
  err_.flush();
  barShown_ = true;
}

}  // namespace statvtk::cli
