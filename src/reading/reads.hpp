// The reads: the one entry that reads the instruments of a line, each with
// its own plan, and the search over addresses and speeds built on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "reading/line_session.hpp"
#include "reading/read_events.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"

namespace statvtk {

// Reads the instruments on the line, in order: the line is opened (a modem
// dialled) once, then each instrument is identified and read by its plan,
// and the line is closed. Every wait looks at `stop`: a stop ends the read in
// progress (keeping what its plan keeps) and reads nothing more. An address
// above 255 without M-Bus is refused. What happens is told to `events`;
// the result holds each instrument's own.
LineResult ReadLine(const LineSpec& line, std::span<const InstrumentRequest> instruments, ReadEvents& events,
                    std::atomic<bool>& stop, const RunHooks& hooks = {});

// A job whose connection settings cannot be used (`reason` says which and
// why): nothing is opened, each instrument fails at Settings.
LineResult RefuseLine(const LineSpec& line, std::span<const InstrumentRequest> instruments, const std::string& reason,
                      ReadEvents& events);

// A search: at each speed (`bauds` empty: the line's own; only a serial line
// has one to set) ReadLine with a probe of each address. The instruments that
// answered are in `found`; the whole fails when none did.
LineResult Scan(const LineSpec& line, std::span<const std::uint32_t> addresses, std::span<const std::uint32_t> bauds,
                ReadEvents& events, std::atomic<bool>& stop, const RunHooks& hooks = {});

// --- internal to the engine ---

// Identifies the instrument on the open line and reads what its plan names.
ReadResult ReadInstrument(LineSession& line, RunContext& ctx, const InstrumentRequest& instrument);
// A search's probe of one address: Done, with the type and text, when it answered.
ReadResult Probe(LineSession& line, RunContext& ctx, std::uint32_t address);

}  // namespace statvtk
