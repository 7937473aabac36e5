// The consumption, state and event shapes of a generated history, hour by
// hour: the hours the instrument was off, what an hour's flow becomes, and
// the events the shapes write. Hours count from 00:00 of the history's first day.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/history.hpp"
#include "sim/hour_flow.hpp"

namespace statvtk::sim {

// An event of the shapes, at `offset` seconds after the first hour's start.
struct ShapedEvent {
  std::uint32_t offset = 0;
  std::uint32_t kinds = 0;  // EventKind bits
};

class ShapedHours {
 public:
  // `hours`: the hours closed before now; a shape whose AGO reaches before the
  // first hour is left out, as is a state the model does not flag.
  ShapedHours(DeviceType model, const MemoryShapes& shapes, std::uint32_t hours, const DeviceConfig& config);

  bool Off(std::uint32_t h) const;
  // The hour's flow as the shapes make it.
  void Apply(std::uint32_t h, HourFlow& f) const;
  std::vector<ShapedEvent> Events() const;

 private:
  struct Span {
    std::uint32_t first = 0, last = 0;  // hours, inclusive
    bool Holds(std::uint32_t h) const { return h >= first && h <= last; }
  };
  std::optional<Span> SpanOf(const HourRun& run) const;
  void ApplyState(std::uint16_t cause, HourFlow& f) const;

  MemoryShapes s_;
  std::uint32_t hours_, today_;
  double gmin_, gmax_;
  std::vector<std::pair<std::uint16_t, Span>> states_;
  std::vector<Span> offs_;
  std::vector<std::uint32_t> settingsHours_;
};

}  // namespace statvtk::sim
