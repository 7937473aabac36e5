// /metrics in Prometheus' text format: reads and exchanges per line, records
// stored, seconds since each instrument's last good read.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "collect/http_fleet.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// `logWriteFailures`: the log lines the collector could not write to its file.
std::string MetricsText(const std::vector<store::InstrumentSummary>& fleet, const std::vector<LineFigures>& lines,
                        std::chrono::system_clock::time_point now, std::uint64_t logWriteFailures = 0,
                        std::optional<std::int64_t> mqttDropped = std::nullopt);

// A label value with \, " and line ends escaped as the format wants.
std::string LabelValue(std::string_view s);

}  // namespace statvtk::collect
