// statvtk-cli read: "Прочитать статистику из прибора".
#include <filesystem>

#include "base/command_line.hpp"
#include "cli/cli_job.hpp"
#include "cli/commands.hpp"
#include "cli/stop_signal.hpp"
#include "front/batch_summary.hpp"
#include "reading/number_list.hpp"
#include "reading/read_choice.hpp"
#include "stats/stat_file.hpp"

namespace statvtk::cli {

namespace {

const char* kReadAbout = R"(Reads the statistics of the instrument (identification, configuration and the
chosen archives) and writes the statistics file into the Data folder of the
program home. Log lines go to stderr as in the log window; the path of each
file written is printed on stdout, the last line being the last file written.
Options given here are not written back to StatVTK.ini.)";

const char* kReadFooter = R"(A file never replaces another: when the name is taken (a read within the same
minute), the file gets the next free one, "..@HH-MM_2.EXT", "_3", ...

Exit status: 0 done, 1 the instrument or link failed (once archive records
had come, what was fetched is still written and its path printed), 2 bad
usage, 3 the file could not be written anywhere or its copy to --out failed
(the file in Data stays), 130 stopped by Ctrl+C (VTK-08.14 and LDN-08 keep
what was read; VTK-08.12 and the LDN-08 hourly "last" read keep nothing).
With several addresses: 0 every one was read, 1 any failed (the others'
files are kept), 130 stopped by Ctrl+C (the files written so far are kept).
)";

struct ReadOptions {
  ConnectionOptions conn;
  bool all = false, last = false, newRecords = false, kindGiven = false;
  std::optional<std::filesystem::path> base;
  std::vector<std::uint32_t> addresses;  // several: a batch
  long long hours = 24, days = 31;
  RecordKinds kinds;
  std::optional<std::filesystem::path> out;
  std::optional<std::string> addressText;  // one address or a list, checked once --mbus is known
  std::vector<std::string> lastCounts;     // --last HOURS DAYS
};

void DeclareReadOptions(CLI::App& app, ReadOptions& ro) {
  app.option_defaults()->group("Range (without --all or --last the choice stored in StatVTK.ini is used)");
  app.add_flag("--all", ro.all, "the whole archives");
  app.add_option("--last", ro.lastCounts,
                 "the newest HOURS+2 hourly and DAYS+2 daily records (0..1536 and 0..384; 0 reads one record)")
      ->expected(2)
      ->option_text("HOURS DAYS");
  app.add_flag("--new", ro.newRecords,
               "only what is new since the newest file of the same instrument in Data (VTK-08.14, LDN-08): the "
               "file written equals what --all would write; an archive that cannot be trusted is read in full (the "
               "log says why); VTK-08.12 is read in full");
  app.add_option_function<std::string>(
         "--base", [&ro](const std::string& v) { ro.base = v, ro.newRecords = true; },
         "as --new, with FILE as the earlier read (never changed)")
      ->type_name("FILE");
  app.option_defaults()->group("Several instruments");
  args::AddOptional(app, "--address", ro.addressText,
                    "numbers and ranges (3,7,11 or 1-4): the line is opened (a modem dialled) once, then each "
                    "address is identified and read into its own file; stdout names each file as it is written, "
                    "stderr ends with a summary")
      ->type_name("LIST");
  app.option_defaults()->group("Kinds (without any, those stored in StatVTK.ini)");
  app.add_flag("--hourly", ro.kinds.hourly, "hourly records");
  app.add_flag("--daily", ro.kinds.daily, "daily records");
  app.add_flag("--monthly", ro.kinds.monthly, "monthly records");
  app.add_flag("--events", ro.kinds.events, "the events");
  app.option_defaults()->group("Output");
  args::AddOptional(app, "--out", ro.out,
                    "also write the file to PATH (a file or a folder); when the Data folder cannot be written the "
                    "file goes here, or else into the current folder")
      ->type_name("PATH");
}

// The choices that depend on each other, once all are known; empty when fine.
std::string CheckReadOptions(ReadOptions& ro) {
  if (!ro.lastCounts.empty()) {
    if (ro.lastCounts.size() != 2) return "--last needs HOURS and DAYS";
    const auto hours = args::DecimalValue(ro.lastCounts[0], 0, 1536),
               days = args::DecimalValue(ro.lastCounts[1], 0, 384);
    if (!hours) return "--last: " + args::NotANumber(ro.lastCounts[0], 0, 1536);
    if (!days) return "--last: " + args::NotANumber(ro.lastCounts[1], 0, 384);
    ro.last = true, ro.hours = *hours, ro.days = *days;
  }
  ro.kindGiven = ro.kinds.hourly || ro.kinds.daily || ro.kinds.monthly || ro.kinds.events;
  if ((ro.all ? 1 : 0) + (ro.last ? 1 : 0) + (ro.newRecords ? 1 : 0) > 1)
    return "give one of --all, --last and --new (--base)";
  if (ro.addressText) {
    auto list = ParseNumberList(*ro.addressText, 0, ro.conn.mbus ? 0xFFFFFFFFu : 255u);
    if (!list) {
      const bool one = ro.addressText->find_first_of(",-") == std::string::npos;
      return one && !ro.conn.mbus ? "--address: 0..255 (M-Bus addresses need --mbus)"
                                  : "--address: " + list.error().reason;
    }
    if (list->size() == 1) ro.conn.address = list->front();
    else ro.addresses = std::move(*list);
  }
  if (ro.addresses.size() > 1 && ro.out) return "--out takes one address, not a list";
  if (ro.addresses.size() > 1 && ro.base) return "--base takes one address, not a list";
  return {};
}

// Writes the handed-over image to `path`; false with the reason on err. A
// folder gets the file under the download's name, never replacing one there.
bool WriteCopy(const std::filesystem::path& path, bool folder, const std::filesystem::path& name, const StatData& data,
               std::filesystem::path* written, std::ostream& err) {
  const auto saveOver = [&]() -> Result<std::filesystem::path> {
    if (Result<void> saved = SaveStatFile(path, data); !saved) return std::move(saved.error());
    return path;
  };
  const Result<std::filesystem::path> saved = folder ? SaveNewStatFile(SeriesNames(path, name), data) : saveOver();
  if (saved) {
    *written = *saved;
    return true;
  }
  const std::string& error = saved.error().reason;
  err << "statvtk-cli read: " << (error.empty() ? path.string() : error) << "\n";
  return false;
}

int Conclude(const LineResult& run, const PartSink& sink, const CliObserver& obs, const ReadOptions& ro,
             std::ostream& out, std::ostream& err) {
  const ReadOutcome outcome = run.whole.outcome;
  const int ending = outcome == ReadOutcome::Stopped  ? kExitStopped
                     : outcome == ReadOutcome::Failed ? kExitLink
                                                      : kExitOk;
  const ReadReport* rep = sink.Reports().empty() ? nullptr : &sink.Reports().front();
  // A failed read still names the file of what was fetched before the failure.
  if (!obs.Statistics() || !rep || (!rep->delivered && !rep->result.partial))
    return ending == kExitOk ? kExitLink : ending;
  int code = ending;
  std::vector<std::filesystem::path> written;
  const DownloadFile& file = rep->file;
  if (file.written) written.push_back(file.path);
  const auto name = file.path.filename();
  if (ro.out) {
    std::error_code ec;
    const bool folder = std::filesystem::is_directory(*ro.out, ec);
    std::filesystem::path path = folder ? *ro.out / name : *ro.out;
    if (WriteCopy(folder ? *ro.out : path, folder, name, *obs.Statistics(), &path, err)) {
      written.push_back(path);
    } else {
      // The file in Data/ (if written) stays; its path is still printed.
      if (file.written)
        err << "statvtk-cli read: the copy to " << path.string() << " failed; the file is kept in "
            << file.path.string() << "\n";
      if (code == kExitOk) code = kExitFile;
    }
  } else if (!file.written) {
    std::error_code ec;
    std::filesystem::path path;
    if (!WriteCopy(std::filesystem::current_path(ec), true, name, *obs.Statistics(), &path, err))
      return code == kExitOk ? kExitFile : code;
    err << "statvtk-cli read: the file was written into the current folder instead\n";
    written.push_back(path);
  }
  for (const auto& p : written) out << p.string() << "\n";
  return code;
}

// Names each file on stdout as it is written (a batch).
class BatchObserver : public CliObserver {
 public:
  BatchObserver(std::ostream& out, std::ostream& err, bool bar) : CliObserver(err, bar), out_(out) {}
  void StatisticsFileWritten(const std::filesystem::path& p) override {
    ClearProgress();
    out_ << p.string() << "\n";
    out_.flush();
  }

 private:
  std::ostream& out_;
};

int RunBatch(const ReadOptions& ro, const JobSetup& setup, const ReadChoice& choice, std::ostream& out,
             std::ostream& err) {
  BatchObserver obs(out, err, StderrIsTerminal());
  PartSink sink(obs, setup.home);
  const ReadPlan plan{ReadKind::Statistics, choice};
  ReadJob job = MakeReadJob(setup.settings, setup.home, plan);
  job.instruments.clear();
  for (std::uint32_t a : ro.addresses) job.instruments.push_back({a, InstrumentPlanOf(plan, setup.home)});
  const LineResult run = RunJob(job, sink, MakeHooks(ro.conn, obs));
  obs.ClearProgress();
  const auto& reports = sink.Reports();
  err << BatchSummary(reports, ro.addresses.size(), job.line, LinkWording::System) << "\n";
  if (run.whole.outcome == ReadOutcome::Stopped) return kExitStopped;
  for (const ReadReport& r : reports)
    if (r.result.outcome != ReadOutcome::Done || !r.file.written) return kExitLink;
  return reports.size() == ro.addresses.size() ? kExitOk : kExitLink;
}

}  // namespace

int RunRead(const Args& args, std::ostream& out, std::ostream& err) {
  ReadOptions ro;
  if (auto done = ParseInstrumentCommand("read", kReadAbout, kReadFooter, ro, DeclareReadOptions, args, out, err))
    return *done;
  if (auto e = CheckReadOptions(ro); !e.empty()) return UsageError(err, "read", e);

  CommandRead read(ro.conn, err, StderrIsTerminal());
  const JobSetup& setup = read.setup;
  if (!SettingsUsable(setup, "read", err)) return kExitUsage;
  SelectStatState state = LoadSelectStat(*setup.ini);
  if (ro.all || ro.last || ro.newRecords) {
    state.all = ro.all;
    state.last = ro.last;
    state.newRecords = ro.newRecords;
  }
  if (ro.kindGiven) state.kinds = ro.kinds;
  ReadChoice choice;
  choice.Accept(state, static_cast<std::int16_t>(ro.hours), static_cast<std::int16_t>(ro.days));

  if (!ro.addresses.empty()) return RunBatch(ro, setup, choice, out, err);
  ReadJob job = MakeReadJob(setup.settings, setup.home, ReadPlan{ReadKind::Statistics, choice});
  if (ro.base) std::get<StatisticsPlan>(job.instruments.front().plan).base = *ro.base;
  const LineResult run = RunJob(job, read.sink, read.hooks);
  return Conclude(run, read.sink, read.obs, ro, out, err);
}

}  // namespace statvtk::cli
