// statvtk-cli identify: the identification text and the model found.
#include "base/printable_text.hpp"
#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"

namespace statvtk::cli {

namespace {
const char* kIdentifyAbout = R"(Opens the connection and identifies the instrument (three attempts). Prints
the identification text on the first line of stdout and the model found
("VTK-08.12", "VTK-08.14 C", "VTK-08.14 CM" or "LDN-08") on the second.)";

const char* kIdentifyFooter = R"(Exit status: 0 identified, 1 no answer or an unknown text, 2 bad usage,
130 stopped by Ctrl+C.
)";
}  // namespace

int RunIdentify(const Args& args, std::ostream& out, std::ostream& err) {
  ConnectionOptions o;
  const auto app = CommandApp("identify", kIdentifyAbout, kIdentifyFooter);
  if (auto done = ParseInstrumentCommand(*app, o, args, out, err)) return *done;

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
