#include "collect/http/metrics.hpp"

#include <cstdio>
#include <ctime>

#include "base/utf8.hpp"
#include "collect/views/json_shapes.hpp"
#include "collect/views/periods.hpp"
#include "store/periods.hpp"

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

namespace {

std::string InstrumentLabels(const InstrumentView& v) {
  return Label("serial", v.instrument.serial) + "," + Label("name", v.instrument.name) + "," +
         Label("line", v.instrument.line);
}

// When a period began on the PC's clock (the instruments keep local time).
std::optional<std::time_t> PeriodStart(ArchiveKind kind, const std::string& period) {
  const auto t = store::ParsePeriod(kind, period);
  if (!t) return std::nullopt;
  std::tm tm{};
  tm.tm_year = t->year - 1900;
  tm.tm_mon = t->month - 1;
  tm.tm_mday = t->day;
  tm.tm_hour = t->hour;
  tm.tm_isdst = -1;
  const std::time_t at = std::mktime(&tm);
  return at == -1 ? std::nullopt : std::optional(at);
}

void Own(std::string& out, const CollectorFigures& own, bool storeUp) {
  Head(out, "statvtk_reads_total", "counter", "Reads finished since the collector started, by line and outcome.");
  for (const auto& l : own.lines) {
    Sample(out, "statvtk_reads_total", Label("line", l.line) + "," + Label("outcome", "done"), l.readsDone);
    Sample(out, "statvtk_reads_total", Label("line", l.line) + "," + Label("outcome", "failed"), l.readsFailed);
  }
  Head(out, "statvtk_exchanges_total", "counter", "Request and reply exchanges with instruments, by line.");
  for (const auto& l : own.lines) Sample(out, "statvtk_exchanges_total", Label("line", l.line), l.exchanges);
  Head(out, "statvtk_exchanges_failed_total", "counter", "Exchanges without a valid reply, by line.");
  for (const auto& l : own.lines)
    Sample(out, "statvtk_exchanges_failed_total", Label("line", l.line), l.failedExchanges);
  Head(out, "statvtk_log_write_failures_total", "counter",
       "Log lines the collector could not write to its log file (a full disk, a folder taken away).");
  out += "statvtk_log_write_failures_total " + std::to_string(own.logWriteFailures) + "\n";
  Head(out, "statvtk_store_up", "gauge", "1 when the store answered this scrape, 0 when it did not.");
  out += std::string("statvtk_store_up ") + (storeUp ? "1" : "0") + "\n";
  if (own.brokerUp) {
    Head(out, "statvtk_broker_up", "gauge", "1 while the MQTT broker is connected.");
    out += std::string("statvtk_broker_up ") + (*own.brokerUp ? "1" : "0") + "\n";
  }
  if (own.mqttDropped) {
    Head(out, "statvtk_mqtt_dropped_total", "counter",
         "MQTT record messages dropped past MqttOutboxMax= while the broker did not take them.");
    out += "statvtk_mqtt_dropped_total " + std::to_string(*own.mqttDropped) + "\n";
  }
}

void Instruments(std::string& out, const std::vector<InstrumentView>& fleet,
                 std::chrono::system_clock::time_point now) {
  Head(out, "statvtk_instrument_health", "gauge",
       "The instrument's state as the page shows it: 1 for the state it is in (ok, late, down, never, clock).");
  for (const auto& v : fleet)
    Sample(out, "statvtk_instrument_health", InstrumentLabels(v) + "," + Label("state", HealthName(v.health)), 1);
  Head(out, "statvtk_failures_in_row", "gauge", "Failed reads since the instrument's last good one.");
  for (const auto& v : fleet) Sample(out, "statvtk_failures_in_row", InstrumentLabels(v), v.failuresInRow);
  Head(out, "statvtk_open_findings", "gauge", "Findings of the checks not acknowledged, by instrument.");
  for (const auto& v : fleet)
    if (!v.instrument.serial.empty()) Sample(out, "statvtk_open_findings", InstrumentLabels(v), v.openFindings);
  Head(out, "statvtk_records_stored", "gauge", "Archive records in the store, by instrument and archive.");
  for (const auto& v : fleet)
    for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a)
      if (!v.instrument.serial.empty())
        Sample(
            out, "statvtk_records_stored",
            Label("serial", v.instrument.serial) + "," + Label("archive", store::ArchiveName(store::kArchiveKinds[a])),
            v.records[a]);
  Head(out, "statvtk_newest_record_age_seconds", "gauge",
       "Seconds since the start of the newest period held, by instrument and archive (absent: none held).");
  for (const auto& v : fleet)
    for (std::size_t a = 0; a < store::kArchiveKinds.size(); ++a)
      if (const auto start = PeriodStart(store::kArchiveKinds[a], v.newest[a]))
        Sample(out, "statvtk_newest_record_age_seconds",
               InstrumentLabels(v) + "," + Label("archive", store::ArchiveName(store::kArchiveKinds[a])),
               std::chrono::system_clock::to_time_t(now) - *start);
  Head(out, "statvtk_seconds_since_good_read", "gauge",
       "Seconds since the instrument's last successful read (absent: never read).");
  for (const auto& v : fleet)
    if (const auto at = UtcMoment(v.lastGoodReadUtc))
      Sample(out, "statvtk_seconds_since_good_read", InstrumentLabels(v),
             std::chrono::duration_cast<std::chrono::seconds>(now - *at).count());
}

void Sharing(std::string& out, const SharingView& sharing) {
  Head(out, "statvtk_collector_alive", "gauge",
       "1 for a collector of the store seen within twice LeaseTtl=, 0 for one not seen since.");
  for (const auto& c : sharing.collectors) Sample(out, "statvtk_collector_alive", Label("origin", c.origin), c.alive);
  Head(out, "statvtk_line_held", "gauge",
       "1 while the collector holds the shared line's lease, 0 once it expired or was released.");
  for (const auto& l : sharing.leases)
    Sample(out, "statvtk_line_held", Label("line", l.line) + "," + Label("origin", l.origin), l.held);
}

}  // namespace

std::string MetricsText(const CollectorFigures& own, const StoreFigures& stored,
                        std::chrono::system_clock::time_point now) {
  std::string out;
  Own(out, own, stored.fleet.has_value());
  if (stored.outboxSize) {
    Head(out, "statvtk_outbox_messages", "gauge", "MQTT messages of this collector waiting in the outbox.");
    out += "statvtk_outbox_messages " + std::to_string(*stored.outboxSize) + "\n";
  }
  if (stored.fleet) Instruments(out, *stored.fleet, now);
  if (stored.sharing) Sharing(out, *stored.sharing);
  return out;
}

namespace {

std::string ModemLabels(const ModemFigure& m) {
  return "pool=\"" + LabelValue(m.pool) + "\",device=\"" + LabelValue(m.device) + "\"";
}

}  // namespace

std::string ModemMetricsText(const std::vector<ModemFigure>& modems) {
  if (modems.empty()) return {};
  std::string out =
      "# HELP statvtk_calls_total Dials of the pools' modems since the collector started, by outcome.\n"
      "# TYPE statvtk_calls_total counter\n";
  for (const auto& m : modems)
    for (const auto& [outcome, n] : m.calls)
      out += "statvtk_calls_total{" + ModemLabels(m) + ",outcome=\"" + LabelValue(outcome) + "\"} " +
             std::to_string(n) + "\n";
  out +=
      "# HELP statvtk_call_seconds_total Connected seconds (CONNECT to the hang-up's OK) since the collector "
      "started.\n"
      "# TYPE statvtk_call_seconds_total counter\n";
  for (const auto& m : modems) {
    char v[32];
    std::snprintf(v, sizeof v, "%.3f", m.connectedSeconds);
    out += "statvtk_call_seconds_total{" + ModemLabels(m) + "} " + v + "\n";
  }
  out +=
      "# HELP statvtk_modem_set_aside 1 while the modem is set aside (cannot be opened or does not answer AT).\n"
      "# TYPE statvtk_modem_set_aside gauge\n";
  for (const auto& m : modems)
    out += "statvtk_modem_set_aside{" + ModemLabels(m) + "} " + std::string(m.setAside ? "1" : "0") + "\n";
  return out;
}

}  // namespace statvtk::collect
