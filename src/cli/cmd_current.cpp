// statvtk-cli current: the current-readings window's captions and values,
// once or repeated.
#include <chrono>
#include <thread>

#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"
#include "reading/current_readings.hpp"

namespace statvtk::cli {

namespace {
const char* kCurrentAbout = R"(Reads the instrument's current values and prints them as the current-readings
window shows them: the caption "Текущие показания - прибор № " with the
serial number, the model, then one "caption: value" line per value.)";

const char* kCurrentFooter = R"(Exit status: 0 done, 1 the instrument or link failed, 2 bad usage,
130 stopped by Ctrl+C.
)";

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void Print(const CliObserver& obs, std::ostream& out) {
  const CurrentView view = UpdateData(obs.CurrentBlock(), obs.CurrentType());
  out << CurrentReadingsCaption(obs.CurrentSerial()) << "\n";
  out << "Модель: " << DeviceTypeName(obs.CurrentType()) << "\n";
  for (const auto& l : view.labels) out << Trimmed(l.caption) << ": " << l.text << "\n";
  out << "\n";
  out.flush();
}

// Waits `seconds`, ending early on Ctrl+C.
void Pause(long long seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!StopSignal::Stopped() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
}  // namespace

int RunCurrent(const Args& args, std::ostream& out, std::ostream& err) {
  ConnectionOptions o;
  long long interval = 60, count = 1;
  const auto app = CommandApp("current", kCurrentAbout, kCurrentFooter);
  app->option_defaults()->group("Readings");
  app->add_option("--interval", interval, "pause between readings (1..3600, default 60)")
      ->transform(args::Decimal(1, 3600))
      ->type_name("SECONDS");
  app->add_option("--count", count, "number of readings (default 1; 0: until Ctrl+C)")
      ->transform(args::Decimal(0, 1000000))
      ->type_name("N");
  if (auto done = ParseInstrumentCommand(*app, o, args, out, err)) return *done;

  CommandRead read(o, err);
  if (!SettingsUsable(read.setup, "current", err)) return kExitUsage;
  for (long long n = 0; count == 0 || n < count; ++n) {
    if (n > 0) Pause(interval);
    if (StopSignal::Stopped()) return kExitStopped;
    read.obs.ClearCurrent();
    // After the first reading the stage texts are left out, as for a window's refresh.
    read.sink.SetStyle({.quietStages = n > 0});
    const LineResult run = read.Run(ReadPlan{ReadKind::Current, {}});
    if (run.whole.outcome == ReadOutcome::Stopped || StopSignal::Stopped()) return kExitStopped;
    if (run.whole.outcome != ReadOutcome::Done || !read.obs.HasCurrent()) return kExitLink;
    Print(read.obs, out);
  }
  return kExitOk;
}

}  // namespace statvtk::cli
