// What a line of the collector's log carries besides its words: the line,
// the instrument and its serial, the collector (its origin) and a stable
// machine word for what happened (the event). The journal keeps them as
// STATVTK_LINE=, STATVTK_INSTRUMENT=, STATVTK_SERIAL=, STATVTK_ORIGIN=,
// STATVTK_EVENT=; scripts and tests match those, never the text. LogTo is
// the log a part of the collector writes through, with the fields of its
// place bound (a line's name, a read's instrument).
#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace statvtk::collect {

enum class LogEvent {
  None,
  Start,              // the service began
  Stop,               // the service ended
  Reload,             // collect.ini read again and taken
  ConfigRefused,      // collect.ini read again and refused
  ConfigWarning,      // collect.ini taken with a warning
  ReadOk,             // an instrument read and stored
  ReadFailed,         // an instrument's read failed
  ReadStopped,        // an instrument's read stopped (the stop request)
  LeaseTaken,         // a shared line's lease taken
  LeaseLost,          // a shared line's lease found another's
  LeaseReleased,      // a shared line's lease given up
  LeaseFailed,        // the lease store did not answer
  LineSkipped,        // a shared line another collector reads
  StoreDown,          // the store does not answer
  StoreBack,          // the store answers again
  ModemConnected,     // a call-in modem came on line
  ModemDisconnected,  // a call-in modem went away
  ModemRefused,       // a call-in connection that was not let in
  DialFailed,         // a modem pool's dials of a site all failed
  HttpStart,          // the status page and API serve
  BrokerUp,           // the MQTT broker took the connection
  BrokerDown,         // the MQTT broker or its outbox failed
  MessageDropped,     // an MQTT message the broker never takes, left out
  AlertFailed,        // an alert not delivered (tried again)
  AlertDropped,       // an alert dropped (too many waiting)
  InternalFault,      // a fault barrier caught an exception
};

// The journal's PRIORITY= (syslog's levels).
enum class LogPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// The event's machine word ("read_ok"); empty for None.
std::string_view EventWord(LogEvent e);
LogPriority PriorityOf(LogEvent e);

struct LogFields {
  std::string line{}, instrument{}, serial{}, origin{};  // each {}: a designated initializer leaves any out
  LogEvent event = LogEvent::None;
  // These fields with `more`'s put over them where it has them.
  LogFields With(const LogFields& more) const;
};

// Where a log line goes: its words and its fields.
using LogSink = std::function<void(const std::string& text, const LogFields& fields)>;

// A log with the fields of its place bound, and the words put in front of
// each text (a line's "[NAME] "). Called with the text alone, or with the
// fields this one line adds (its event). Made from any function of the text
// alone too (tests, the commands that print): the fields are then left out.
class LogTo {
 public:
  LogTo() = default;
  LogTo(std::nullptr_t) {}
  explicit LogTo(LogSink sink, LogFields bound = {}, std::string prefix = {})
      : sink_(std::move(sink)), bound_(std::move(bound)), prefix_(std::move(prefix)) {}
  template <class F>
  requires(!std::same_as<std::remove_cvref_t<F>, LogTo> && std::is_invocable_v<const F&, const std::string&>)
      LogTo(F textOnly) {
    if constexpr (std::is_constructible_v<bool, const F&>)
      if (!static_cast<bool>(textOnly)) return;
    sink_ = [f = std::move(textOnly)](const std::string& text, const LogFields&) { f(text); };
  }

  void operator()(const std::string& text, const LogFields& more = {}) const {
    if (sink_) sink_(prefix_ + text, bound_.With(more));
  }
  // This log with `more` bound too and `prefix` added in front.
  LogTo With(const LogFields& more, const std::string& prefix = {}) const {
    return LogTo(sink_, bound_.With(more), prefix_ + prefix);
  }
  // This log for the line `name`: its field, and "[NAME] " before the words.
  LogTo OfLine(const std::string& name) const { return With({.line = name}, "[" + name + "] "); }
  explicit operator bool() const { return static_cast<bool>(sink_); }

 private:
  LogSink sink_;
  LogFields bound_;
  std::string prefix_;
};

}  // namespace statvtk::collect
