#include "collect/http_metrics.hpp"

#include "base/utf8.hpp"
#include "collect/http_json.hpp"
#include "collect/http_periods.hpp"

namespace statvtk::collect {

namespace {

void Head(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void Sample(std::string& out, const char* name, const std::string& labels, long long value) {
  out += name;
  out += '{';
  out += labels;
  out += "} ";
  out += std::to_string(value);
  out += '\n';
}

std::string Label(const char* key, std::string_view value) {
  return std::string(key) + "=\"" + LabelValue(value) + "\"";
}

}  // namespace

std::string LabelValue(std::string_view s) {
  std::string out;
  for (char c : ValidUtf8(s)) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string MetricsText(const std::vector<store::InstrumentSummary>& fleet, const std::vector<LineFigures>& lines,
                        std::chrono::system_clock::time_point now, std::uint64_t logWriteFailures,
                        std::optional<std::int64_t> mqttDropped) {
  std::string out;
  Head(out, "statvtk_reads_total", "counter", "Reads finished since the collector started, by line and outcome.");
  for (const auto& l : lines) {
    Sample(out, "statvtk_reads_total", Label("line", l.line) + "," + Label("outcome", "done"), l.readsDone);
    Sample(out, "statvtk_reads_total", Label("line", l.line) + "," + Label("outcome", "failed"), l.readsFailed);
  }
  Head(out, "statvtk_exchanges_total", "counter", "Request and reply exchanges with instruments, by line.");
  for (const auto& l : lines) Sample(out, "statvtk_exchanges_total", Label("line", l.line), l.exchanges);
  Head(out, "statvtk_exchanges_failed_total", "counter", "Exchanges without a valid reply, by line.");
  for (const auto& l : lines) Sample(out, "statvtk_exchanges_failed_total", Label("line", l.line), l.failedExchanges);
  Head(out, "statvtk_records_stored", "gauge", "Archive records in the store, by instrument and archive.");
  for (const auto& s : fleet)
    for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a)
      Sample(out, "statvtk_records_stored",
             Label("serial", s.instrument.serial) + "," + Label("archive", store::ArchiveName(store::kArchiveKinds[a])),
             s.archives[a].stats.records);
  Head(out, "statvtk_seconds_since_good_read", "gauge",
       "Seconds since the instrument's last successful read (absent: never read).");
  for (const auto& s : fleet) {
    if (!s.lastGoodRead) continue;
    const auto& r = *s.lastGoodRead;
    const auto at = UtcMoment(r.endedUtc.empty() ? r.startedUtc : r.endedUtc);
    if (!at) continue;
    Sample(out, "statvtk_seconds_since_good_read",
           Label("serial", s.instrument.serial) + "," + Label("name", s.instrument.name) + "," +
               Label("line", s.instrument.line),
           std::chrono::duration_cast<std::chrono::seconds>(now - *at).count());
  }
  Head(out, "statvtk_log_write_failures_total", "counter",
       "Log lines the collector could not write to its log file (a full disk, a folder taken away).");
  out += "statvtk_log_write_failures_total " + std::to_string(logWriteFailures) + "\n";
  if (mqttDropped) {
    Head(out, "statvtk_mqtt_dropped_total", "counter",
         "MQTT record messages dropped past MqttOutboxMax= while the broker did not take them.");
    out += "statvtk_mqtt_dropped_total " + std::to_string(*mqttDropped) + "\n";
  }
  return out;
}

}  // namespace statvtk::collect
