#include "collect/line_reader.hpp"

#include "reading/job_prep.hpp"
#include "reading/line_session.hpp"
#include "reading/reads.hpp"
#include "reading/run_end.hpp"

namespace statvtk::collect {

namespace {

// The engine's log lines go to the line's log; nothing else is shown.
class LineObserver final : public ReadObserver {
 public:
  explicit LineObserver(const LineLog& log) : log_(log) {}
  void LogLine(const std::string& text) override {
    if (log_) log_(text);
  }
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
  void EnableControls() override {}
  void DeliverStatistics(const StatData&, const std::string&) override {}
  void DeliverCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string&) override {}

 private:
  const LineLog& log_;
};

InstrumentOutcome OutcomeOf(ReadOutcome o) {
  return o == ReadOutcome::Done      ? InstrumentOutcome::Done
         : o == ReadOutcome::Stopped ? InstrumentOutcome::Stopped
                                     : InstrumentOutcome::Failed;
}

std::string ErrorText(const ReadResult& res) {
  std::string e = !res.error ? std::string() : res.error->reason.empty() ? res.error->Text() : res.error->reason;
  if (res.linkCause && res.outcome == ReadOutcome::Failed) {
    // "Ошибка WINSOCK соединения." and its cause read as one sentence.
    if (!e.empty() && e.back() == '.') e.pop_back();
    e += (e.empty() ? "" : ": ") + res.linkCause->reason;
  }
  return e;
}

void Take(InstrumentRead& r, ReadResult res) {
  r.outcome = OutcomeOf(res.outcome);
  r.error = ErrorText(res);
  r.file = res.fileWritten ? res.file : std::filesystem::path();
  r.requests = res.requests;
  r.partial = res.partial;
  r.data = std::move(res.data);
  if (r.outcome == InstrumentOutcome::Done && !res.delivered) {
    r.outcome = InstrumentOutcome::Failed;
    if (r.error.empty()) r.error = "нет данных";
  }
}

StatisticsPlan PlanOf(const InstrumentPlan& p) {
  StatisticsPlan plan;
  // Wanted periods are read as what is new since the newest file: that read
  // holds every record the instrument still keeps after it.
  plan.range = p.kind == PlanKind::Full ? RecordRange::All : RecordRange::New;
  plan.kinds = {p.hourly, p.daily, p.monthly, p.events};
  return plan;
}

}  // namespace

std::vector<InstrumentRead> ReadLine(const LineRequest& rq, const LineLog& log) {
  std::vector<InstrumentRead> reads(rq.instruments.size());
  for (std::size_t i = 0; i < reads.size(); ++i) reads[i].address = rq.instruments[i].address;
  const auto now = [] { return std::chrono::system_clock::now(); };
  auto endAll = [&](std::size_t from, InstrumentOutcome outcome, const std::string& error) {
    for (std::size_t i = from; i < reads.size(); ++i) {
      reads[i].outcome = outcome;
      reads[i].error = error;
      if (reads[i].started == std::chrono::system_clock::time_point{}) reads[i].started = now();
      reads[i].ended = now();
    }
  };
  const ReadJob job = MakeReadJob(rq.settings, rq.home, ReadPlan{ReadKind::Custom, {}});
  if (!job.settingsError.empty()) {
    endAll(0, InstrumentOutcome::Failed, job.settingsError);
    return reads;
  }
  std::atomic<bool> ownStop{false};
  std::atomic<bool>& stop = rq.stop ? *rq.stop : ownStop;
  std::atomic<bool> abort{stop.load()};
  LineObserver obs(log);
  const RunHooks hooks;
  RunContext ctx(obs, stop, abort, hooks, rq.home, true, false);
  if (ctx.StopNow()) {
    endAll(0, InstrumentOutcome::Stopped, {});
    return reads;
  }
  // The line is opened (a modem dialled) once for every instrument due on it.
  LineSession line(job.line, ctx);
  const auto opening = now();
  if (auto failed = line.Open()) {
    ReadResult res;
    RunEnd e{failed->stage == LineSession::Stage::Open ? EndKind::OpenFailed : EndKind::DialFailed};
    e.open = std::move(failed);
    EndRun(e, ctx, &line, false, res);
    for (InstrumentRead& r : reads) r.started = opening;
    endAll(0, OutcomeOf(res.outcome), ErrorText(res));
    return reads;
  }
  for (std::size_t i = 0; i < reads.size(); ++i) {
    if (ctx.StopNow()) {
      endAll(i, InstrumentOutcome::Stopped, {});
      break;
    }
    InstrumentRead& r = reads[i];
    r.started = i == 0 ? opening : now();
    const std::uint32_t address = rq.instruments[i].address;
    if (const std::string refused = AddressRefusal(address, job.useMBus); !refused.empty()) {
      log(refused);
      r.outcome = InstrumentOutcome::Failed;
      r.error = refused;
    } else {
      Take(r, ReadInstrument(line, ctx, address, job.useMBus, PlanOf(rq.instruments[i]), true));
    }
    r.ended = now();
    if (r.outcome == InstrumentOutcome::Stopped) {
      endAll(i + 1, InstrumentOutcome::Stopped, {});
      break;
    }
  }
  line.Close();
  return reads;
}

LineScan ScanLine(const ConnectionSettings& settings, const std::filesystem::path& home,
                  const std::vector<std::uint32_t>& addresses, const std::vector<std::uint32_t>& bauds,
                  const LineLog& log, std::atomic<bool>& stop) {
  LineScan scan;
  const ReadJob job = MakeReadJob(settings, home, ReadPlan{ReadKind::Custom, {}});
  if (!job.settingsError.empty()) {
    scan.error = job.settingsError;
    return scan;
  }
  std::atomic<bool> abort{stop.load()};
  LineObserver obs(log);
  const RunHooks hooks;
  RunContext ctx(obs, stop, abort, hooks, home, true, false);
  RunOutput out = Scan(job, ScanRead{addresses, bauds, nullptr}, ctx);
  scan.found = std::move(out.found);
  scan.stopped = out.result.outcome == ReadOutcome::Stopped;
  if (out.result.outcome == ReadOutcome::Failed && scan.found.empty()) scan.error = ErrorText(out.result);
  return scan;
}

}  // namespace statvtk::collect
