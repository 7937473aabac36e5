// /metrics in Prometheus' text format: the collector's own counters (reads
// and exchanges per line, log and MQTT figures, whether the store and the
// broker are up), answered from memory even when the store is down; and from
// the store each instrument's health, failures in a row, open findings,
// records and the age of its newest record per archive, the outbox, and the
// collectors sharing the store with the shared lines they hold.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "collect/fleet/fleet_live.hpp"
#include "collect/views/collectors_view.hpp"
#include "collect/views/instrument_view.hpp"

namespace statvtk::collect {

// What the collector knows without its store.
struct CollectorFigures {
  std::vector<LineFigures> lines;
  std::uint64_t logWriteFailures = 0;
  std::optional<std::int64_t> mqttDropped;  // empty: MQTT off
  std::optional<bool> brokerUp;             // empty: MQTT off
};

// What the store says; `fleet` empty: the store did not answer (store up 0).
struct StoreFigures {
  std::optional<std::vector<InstrumentView>> fleet;
  std::optional<std::int64_t> outboxSize;
  std::optional<SharingView> sharing;  // the collectors and the shared lines' leases
};

std::string MetricsText(const CollectorFigures& own, const StoreFigures& stored,
                        std::chrono::system_clock::time_point now);

// The Prometheus text of the pools' modems' figures.
std::string ModemMetricsText(const std::vector<ModemFigure>& modems);

// A label value with \, " and line ends escaped as the format wants.
std::string LabelValue(std::string_view s);

}  // namespace statvtk::collect
