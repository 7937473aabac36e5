// The reads, as small functions over a line session: one instrument
// (statistics, current values or identification), a batch of instruments on
// one line, a search over addresses and speeds, and the run of a whole job.
#pragma once

#include <string>

#include "reading/line_session.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"

namespace statvtk {

// Why an address cannot be read on its own ("" when it can): outside M-Bus
// mode only 0..255 fit the short form.
std::string AddressRefusal(std::uint32_t address, bool useMBus);

// Identifies the instrument at `address` on the open line and reads what
// `what` names (a ScanRead is not one instrument's). `held`: the line stays
// open afterwards.
ReadResult ReadInstrument(LineSession& line, RunContext& ctx, std::uint32_t address, bool useMBus, const ReadWhat& what,
                          bool held);

// Several addresses on one line, opened (a modem dialled) once.
RunOutput ReadBatch(const ReadJob& job, RunContext& ctx);

// The identification request only, to each address at each speed.
RunOutput Scan(const ReadJob& job, const ScanRead& scan, RunContext& ctx);

// A whole job: refused, stopped before it starts, or the read it names.
RunOutput RunReadJob(const ReadJob& job, RunContext& ctx);

}  // namespace statvtk
