#include "collect/fleet/log_fields.hpp"

#include <array>

namespace statvtk::collect {

namespace {

struct EventRow {
  LogEvent event;
  std::string_view word;
  LogPriority priority;
};

constexpr std::array kEvents = {
    EventRow{.event = LogEvent::None, .word = "", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::Start, .word = "start", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::Stop, .word = "stop", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::Reload, .word = "reload", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::ConfigRefused, .word = "config_refused", .priority = LogPriority::Error},
    EventRow{.event = LogEvent::ConfigWarning, .word = "config_warning", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::ReadOk, .word = "read_ok", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::ReadFailed, .word = "read_failed", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::ReadStopped, .word = "read_stopped", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::LeaseTaken, .word = "lease_taken", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::LeaseLost, .word = "lease_lost", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::LeaseReleased, .word = "lease_released", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::LeaseFailed, .word = "lease_failed", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::LineSkipped, .word = "line_skipped", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::StoreDown, .word = "store_down", .priority = LogPriority::Error},
    EventRow{.event = LogEvent::StoreBack, .word = "store_back", .priority = LogPriority::Notice},
    EventRow{.event = LogEvent::ModemConnected, .word = "modem_connected", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::ModemDisconnected, .word = "modem_disconnected", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::ModemRefused, .word = "modem_refused", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::DialFailed, .word = "dial_failed", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::HttpStart, .word = "http_start", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::BrokerUp, .word = "broker_up", .priority = LogPriority::Info},
    EventRow{.event = LogEvent::BrokerDown, .word = "broker_down", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::MessageDropped, .word = "message_dropped", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::AlertFailed, .word = "alert_failed", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::AlertDropped, .word = "alert_dropped", .priority = LogPriority::Warning},
    EventRow{.event = LogEvent::InternalFault, .word = "internal_fault", .priority = LogPriority::Error},
};

const EventRow& RowOf(LogEvent e) {
  for (const auto& r : kEvents)
    if (r.event == e) return r;
  return kEvents[0];
}

}  // namespace

std::string_view EventWord(LogEvent e) { return RowOf(e).word; }
LogPriority PriorityOf(LogEvent e) { return RowOf(e).priority; }

LogFields LogFields::With(const LogFields& more) const {
  LogFields f = *this;
  if (!more.line.empty()) f.line = more.line;
  if (!more.instrument.empty()) f.instrument = more.instrument;
  if (!more.serial.empty()) f.serial = more.serial;
  if (!more.origin.empty()) f.origin = more.origin;
  if (more.event != LogEvent::None) f.event = more.event;
  return f;
}

}  // namespace statvtk::collect
