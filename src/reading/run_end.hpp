// The one place where the end of an instrument's read or a line's opening
// becomes the observer's calls (log, stage texts, progress, controls,
// hand-over), in the order the front ends show them. Internal.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "reading/instrument_read.hpp"
#include "reading/line_session.hpp"
#include "reading/read_result.hpp"

namespace statvtk {

enum class EndKind {
  Refused,         // a setting or address that cannot be used
  Stopped,         // the stop request, nothing kept
  OpenFailed,      // the port or connection did not open
  DialFailed,      // the modem did not connect (it logged why)
  IdentifyFailed,  // no instrument type after three tries
  BlockFailed,     // a block read failed (what was fetched goes to a file)
  Statistics,      // the statistics, whole or up to a stop
  Current,         // the current-values block
  Identified,      // identification only
};

struct RunEnd {
  RunEnd(EndKind k) : kind(k) {}  // NOLINT: implicit on purpose, RunEnd{EndKind::Stopped}
  EndKind kind;
  std::string message;  // Refused: the reason
  std::optional<LineSession::OpenFailure> open;
  std::optional<BlockFailure> failure;
  std::string cause;  // IdentifyFailed: the link's words
  ErrorCode code = ErrorCode::WrongReply;
  bool stopped = false;  // Statistics: a stop ended the archives
  bool useMBus = false;  // BlockFailed: the form the instrument was asked in
  InstrumentReader* reader = nullptr;
};

// `held`: the line stays open for the next instrument (a batch).
void EndRun(const RunEnd& end, RunContext& ctx, LineSession* line, bool held, ReadResult& result);

}  // namespace statvtk
