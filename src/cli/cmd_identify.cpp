// statvtk-cli identify: the identification text and the model found.
#include "base/printable_text.hpp"
#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"

namespace statvtk::cli {

namespace {
const char* kIdentifyHelp = R"(Usage: statvtk-cli identify [CONNECTION]

Opens the connection and identifies the instrument (three attempts). Prints
the identification text on the first line of stdout and the model found
("VTK-08.12", "VTK-08.14 C", "VTK-08.14 CM" or "LDN-08") on the second.

Exit status: 0 identified, 1 no answer or an unknown text, 2 bad usage,
130 stopped by Ctrl+C.

)";
}  // namespace

int RunIdentify(const Args& args, std::ostream& out, std::ostream& err) {
  ConnectionOptions o;
  if (auto done = ReadCommandArgs(args, "identify", kIdentifyHelp, o, out, err)) return *done;
  if (auto e = CheckConnectionOptions(o); !e.empty()) return UsageError(err, "identify", e);

  CommandRead read(o, err);
  if (!SettingsUsable(read.setup, "identify", err)) return kExitUsage;
  const LineResult run = read.Run(ReadPlan{ReadKind::Identify, {}});
  if (run.whole.outcome == ReadOutcome::Stopped) return kExitStopped;
  if (run.whole.outcome != ReadOutcome::Done || run.instruments.empty()) return kExitLink;
  const ReadResult& res = run.instruments.front();
  out << PrintableText(res.identText) << "\n" << DeviceTypeName(res.type) << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
