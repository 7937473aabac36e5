// Modems that call the collector ([Listen NAME] and the lines with
// Mode=incoming): the collector listens, a modem connects and sends its Id
// line (CR or LF ended) within the Id wait, the line with that Id keeps the
// connection and reads its due instruments over it for as long as the modem
// keeps it. A reconnect with the same Id replaces the old connection. An
// unknown Id, no Id in time, or more connections at once from one address
// than allowed: the connection is closed and logged, nothing else. A known
// Id from an address outside the listener's AllowFrom=: closed, and the
// call_in_refused situation of the line's instruments raised (cleared by the
// next call of that line taken).
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/error.hpp"
#include "collect/config/collect_config.hpp"
#include "collect/dial/dial_context.hpp"
#include "collect/fleet/fleet_figures.hpp"
#include "collect/fleet/log_fields.hpp"
#include "collect/run/store_writer.hpp"

namespace statvtk::collect {

// `stop` also ends the listening and the lines' waits (and, without
// readStop, their reads).
struct IncomingContext : DialContext {
  FleetFigures* fleet = nullptr;
  std::chrono::milliseconds idWait{10000};  // for the Id line
  int perAddress = 4;                       // connections at once from one address
  // One [Listen NAME] and its lines only; null: every one.
  const ListenConfig* only = nullptr;
  // The reads' stop when it is not `stop` (a reload ends a listener, the
  // read it is in goes on until the run stops); null: `stop`.
  std::atomic<bool>* readStop = nullptr;
};

class IncomingLines {
 public:
  // Listens on every [Listen NAME] that an incoming line names (ctx.only:
  // that one), each line's schedule resumed from the store; the error says
  // which address could not be listened on. Nothing: no incoming line.
  static Result<std::unique_ptr<IncomingLines>> Open(const IncomingContext& ctx);
  ~IncomingLines();
  IncomingLines(const IncomingLines&) = delete;
  IncomingLines& operator=(const IncomingLines&) = delete;

  // Accepts and reads until the stop.
  void Serve();
  // AllowFrom= of each [Listen NAME] as collect.ini says now (read again on
  // SIGHUP): the calls from then on are checked against it.
  void Allow(const Config& cfg);
  // "подключён с 2026-12-10T01:02:03Z (10.0.0.7)" or "ждёт подключения
  // модема"; empty for a line that is not incoming.
  std::string Describe(const std::string& line) const;

  struct State;

 private:
  explicit IncomingLines(std::unique_ptr<State> s);
  std::unique_ptr<State> s_;
};

}  // namespace statvtk::collect
