#include "sim/history_shapes.hpp"

#include <algorithm>

namespace statvtk::sim {

namespace {

constexpr double kLeak = 0.05;                  // m3/h that a night leak lets through
constexpr double kSpikeFactor = 5;              // the flow of a spike's day against its usual
constexpr std::uint64_t kLeastReverse = 50000;  // millionths of m3: the least volume of a reverse hour
constexpr std::uint16_t kFaults = kExcitation | kEmptyPipe | kTempSensor | kAir | kAdc;

bool NightHour(std::uint32_t h) { return h % 24 >= 1 && h % 24 <= 4; }

// No flow: neither volume nor the flow's states and counters.
void Still(HourFlow& f) {
  SetForward(f, 0);
  f.dvMinus = f.dmMinus = 0;
  f.seconds[2] = f.seconds[3] = 0;
  f.causes &= static_cast<std::uint16_t>(~(kGmin | kGmax | kReverse));
}

std::uint32_t EventSecond(std::uint32_t kind) {
  return kind == kEvSettings ? 900 : kind == kEvCalibration ? 1200 : 1500;
}

}  // namespace

ShapedHours::ShapedHours(DeviceType model, const MemoryShapes& shapes, std::uint32_t hours, const DeviceConfig& config)
    : s_(shapes), hours_(hours), today_(hours / 24), gmin_(config.gmin), gmax_(config.gmax) {
  for (const StateRun& r : s_.states)
    if (StoredFlags(model, r.cause) != 0)
      if (const auto sp = SpanOf(r.run)) states_.emplace_back(r.cause, *sp);
  for (const HourRun& r : s_.powerOffs)
    if (const auto sp = SpanOf(r)) offs_.push_back(*sp);
  for (const EventShape& e : s_.events)
    if (e.kind == kEvSettings)
      if (const auto sp = SpanOf({.hours = 1, .ago = e.ago})) settingsHours_.push_back(sp->first);
}

// The run's hours; none when its newest is before the first hour.
std::optional<ShapedHours::Span> ShapedHours::SpanOf(const HourRun& run) const {
  if (run.ago >= hours_ || run.hours == 0) return std::nullopt;
  const std::uint32_t last = hours_ - 1 - run.ago;
  return Span{.first = last + 1 - std::min(run.hours, last + 1), .last = last};
}

bool ShapedHours::Off(std::uint32_t h) const {
  return std::any_of(offs_.begin(), offs_.end(), [h](const Span& sp) { return sp.Holds(h); });
}

void ShapedHours::Apply(std::uint32_t h, HourFlow& f) const {
  const std::uint32_t day = h / 24;
  if ((s_.quietNights || s_.nightLeak) && NightHour(h)) {
    Still(f);
    if (s_.nightLeak && day + *s_.nightLeak > today_) SetForward(f, kLeak);
  }
  if (s_.spike && day + *s_.spike == today_) SetForward(f, f.q * kSpikeFactor);
  for (const auto& [cause, span] : states_)
    if (span.Holds(h)) ApplyState(cause, f);
  if (std::find(settingsHours_.begin(), settingsHours_.end(), h) != settingsHours_.end()) f.causes |= kSettings;
  if (s_.stopped && day + *s_.stopped >= today_) Still(f);
}

// A state for the whole hour: below Gmin or above Gmax the flow is so; in
// reverse the hour's volume runs backwards; a fault counts error time and no volume.
void ShapedHours::ApplyState(std::uint16_t cause, HourFlow& f) const {
  f.causes |= cause;
  if (cause == kGmin) {
    f.seconds[2] = 3600;
    SetForward(f, gmin_ * 0.5);
  } else if (cause == kGmax) {
    f.seconds[3] = 3600;
    SetForward(f, gmax_ * 1.1);
  } else if (cause == kReverse) {
    f.dvMinus = std::max(f.dvPlus, kLeastReverse);
    f.dmMinus = static_cast<std::uint64_t>(std::llround(static_cast<double>(f.dvMinus) * Density(f.temperature)));
    SetForward(f, 0);
  } else if (cause & kFaults) {
    f.seconds[1] = 3600;
    SetForward(f, 0);
  }
}

std::vector<ShapedEvent> ShapedHours::Events() const {
  std::vector<ShapedEvent> out;
  for (const Span& sp : offs_) {
    out.push_back({.offset = sp.first * 3600 + 17, .kinds = kEvPowerOff});
    out.push_back({.offset = (sp.last + 1) * 3600 + 42, .kinds = kEvPowerOn});
  }
  for (const EventShape& e : s_.events)
    if (const auto sp = SpanOf({.hours = 1, .ago = e.ago}))
      out.push_back({.offset = sp->first * 3600 + EventSecond(e.kind), .kinds = e.kind});
  return out;
}

}  // namespace statvtk::sim
