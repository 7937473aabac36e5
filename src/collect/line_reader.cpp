#include "collect/line_reader.hpp"

#include "reading/job_prep.hpp"
#include "reading/reads.hpp"

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
  void BatchAddressStarted(std::uint32_t, std::size_t index, std::size_t) override {
    starts_.resize(index + 1, std::chrono::system_clock::now());
    starts_[index] = std::chrono::system_clock::now();
  }
  // When the read of instrument `index` started; `otherwise` when it did not.
  std::chrono::system_clock::time_point StartOf(std::size_t index,
                                                std::chrono::system_clock::time_point otherwise) const {
    return index < starts_.size() ? starts_[index] : otherwise;
  }

 private:
  const LineLog& log_;
  std::vector<std::chrono::system_clock::time_point> starts_;
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
  const auto now = [] { return std::chrono::system_clock::now(); };
  const auto started = now();
  for (std::size_t i = 0; i < reads.size(); ++i) {
    reads[i].address = rq.instruments[i].address;
    reads[i].outcome = InstrumentOutcome::Stopped;  // until read: a stop reads nothing more
    reads[i].started = reads[i].ended = started;
  }
  const ReadJob job = MakeReadJob(rq.settings, rq.home, ReadPlan{ReadKind::Custom, {}});
  if (!job.settingsError.empty()) {
    for (InstrumentRead& r : reads) {
      r.outcome = InstrumentOutcome::Failed;
      r.error = job.settingsError;
    }
    return reads;
  }
  std::vector<InstrumentRequest> requests;
  for (const InstrumentPlan& p : rq.instruments) requests.push_back({p.address, PlanOf(p)});
  std::atomic<bool> ownStop{false};
  std::atomic<bool>& stop = rq.stop ? *rq.stop : ownStop;
  LineObserver obs(log);
  const RunHooks hooks;
  RunContext ctx(obs, stop, hooks, rq.home, true, false);
  RunOutput out = ReadLine(job.line, requests, ctx);
  const auto ended = now();
  for (std::size_t i = 0; i < reads.size(); ++i) {
    // An instrument's read ends where the next one starts.
    reads[i].started = obs.StartOf(i, started);
    reads[i].ended = obs.StartOf(i + 1, ended);
    if (i < out.batch.size()) Take(reads[i], std::move(out.batch[i]));
  }
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
  LineObserver obs(log);
  const RunHooks hooks;
  RunContext ctx(obs, stop, hooks, home, true, false);
  RunOutput out = Scan(job.line, ScanRead{addresses, bauds, nullptr}, ctx);
  scan.found = std::move(out.found);
  scan.stopped = out.result.outcome == ReadOutcome::Stopped;
  if (out.result.outcome == ReadOutcome::Failed && scan.found.empty()) scan.error = ErrorText(out.result);
  return scan;
}

}  // namespace statvtk::collect
