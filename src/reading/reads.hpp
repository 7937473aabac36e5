// The reads: the one entry that reads the instruments of a line, each with
// its own plan, and the search over addresses and speeds.
#pragma once

#include <span>
#include <string>

#include "reading/line_session.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"

namespace statvtk {

// Why an address cannot be read on its own ("" when it can): outside M-Bus
// mode only 0..255 fit the short form.
std::string AddressRefusal(std::uint32_t address, bool useMBus);

// Reads the instruments on the line, in order: the line is opened (a modem
// dialled) once, then each instrument is identified and read by its plan. A
// stop ends the read in progress and reads nothing more. `result` is the
// whole run, `batch` each instrument reached, in order.
RunOutput ReadLine(const LineSpec& line, std::span<const InstrumentRequest> instruments, RunContext& ctx);

// Identifies the instrument on the open line and reads what its plan names.
// `held`: the line stays open afterwards.
ReadResult ReadInstrument(LineSession& line, RunContext& ctx, const InstrumentRequest& instrument, bool held);

// The identification request only, to each address at each speed.
RunOutput Scan(const LineSpec& line, const ScanRead& scan, RunContext& ctx);

}  // namespace statvtk
