#include "link/frame_trace.hpp"

#include <cstdio>
#include <ctime>

#include "base/local_time.hpp"
#include "link/link_cause.hpp"

namespace statvtk {

namespace {

std::string Stamp(std::chrono::system_clock::time_point t) {
  const auto sinceEpoch = std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch());
  const auto ms = static_cast<int>((sinceEpoch - std::chrono::floor<std::chrono::seconds>(sinceEpoch)).count());
  const std::tm tm = LocalTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d.%.3d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  return buf;
}

const char* Mark(const FrameTrace& f) {
  switch (f.direction) {
    case FrameTrace::Direction::Sent: return "  -> ";
    case FrameTrace::Direction::Received: return f.result == 0 ? "  <- " : "  <! ";
    case FrameTrace::Direction::Late: break;
  }
  return "  <~ ";
}

}  // namespace

std::string FrameTraceLine(const FrameTrace& f) {
  std::string s = Stamp(f.when) + Mark(f);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < f.bytes.size(); ++i) {
    if (i) s += ' ';
    s += kHex[f.bytes[i] >> 4];
    s += kHex[f.bytes[i] & 15];
  }
  if (f.direction == FrameTrace::Direction::Received && f.result != 0) {
    // The same words as the messages after "Дополнительная информация: ".
    if (!f.bytes.empty()) s += "  ";
    s += "[" + LinkCauseText(f.result) + "]";
  }
  if (f.direction == FrameTrace::Direction::Late) s += "  [опоздавшие байты]";
  return s;
}

}  // namespace statvtk
