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

  StopSignal signal;
  JobSetup setup = MakeSetup(o);
  if (!SettingsUsable(setup, "identify", err)) return kExitUsage;
  CliObserver obs(err, false);
  TReadThread job(obs);
  ConfigureJob(job, setup, o, obs, ReadPlan{ReadKind::Identify, {}});
  RunJob(job);
  const ReadResult& res = job.Result();
  if (res.outcome == ReadOutcome::Stopped) return kExitStopped;
  if (res.outcome != ReadOutcome::Done) return kExitLink;
  out << PrintableText(res.identText) << "\n" << DeviceTypeName(res.type) << "\n";
  return kExitOk;
}

}  // namespace statvtk::cli
