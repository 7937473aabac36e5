#include "collect/line_reader.hpp"

#include "reading/job_prep.hpp"
#include "reading/read_thread.hpp"

namespace statvtk::collect {

namespace {

// Collects what the engine hands over, per instrument of the batch.
class Collector final : public ReadObserver {
 public:
  Collector(const LineLog& log, std::vector<InstrumentRead>& reads) : log_(log), reads_(reads) {}
  void SetJob(TReadThread* job) { job_ = job; }
  void Begin(std::size_t first) { first_ = first; }
  void Close() { Account(); }

  void LogLine(const std::string& text) override {
    if (log_) log_(text);
  }
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
  void DisableControls() override {}
  void EnableControls() override {}
  void DeliverStatistics(const StatData& data, const std::string&) override { Current().data = data; }
  void DeliverCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string&) override {}
  void FetchedBeforeFailure(const StatData& data) override { Current().data = data; }
  void StatisticsFileWritten(const std::filesystem::path& p) override { Current().file = p; }
  void BatchAddressStarted(std::uint32_t, std::size_t index, std::size_t) override {
    Account();
    index_ = index;
    Current().started = std::chrono::system_clock::now();
  }

 private:
  InstrumentRead& Current() { return reads_[first_ + index_]; }
  // The exchanges since the last instrument started go to that instrument.
  void Account() {
    if (!job_) return;
    const std::int64_t sent = job_->Link().SentCount();
    if (started_) Current().requests += sent - mark_;
    mark_ = sent;
    started_ = true;
  }

  const LineLog& log_;
  std::vector<InstrumentRead>& reads_;
  TReadThread* job_ = nullptr;
  std::size_t first_ = 0, index_ = 0;
  std::int64_t mark_ = 0;
  bool started_ = false;
};

bool SamePlan(const InstrumentPlan& a, const InstrumentPlan& b) {
  const bool newA = a.kind != PlanKind::Full, newB = b.kind != PlanKind::Full;
  return newA == newB && a.hourly == b.hourly && a.daily == b.daily && a.monthly == b.monthly && a.events == b.events;
}

InstrumentOutcome OutcomeOf(ReadOutcome o) {
  return o == ReadOutcome::Done      ? InstrumentOutcome::Done
         : o == ReadOutcome::Stopped ? InstrumentOutcome::Stopped
                                     : InstrumentOutcome::Failed;
}

}  // namespace

std::vector<InstrumentRead> ReadLine(const LineRequest& rq, const LineLog& log) {
  std::vector<InstrumentRead> reads(rq.instruments.size());
  for (std::size_t i = 0; i < reads.size(); ++i) reads[i].address = rq.instruments[i].address;
  // Today's engine takes one plan per run: instruments with the same plan
  // go in one batch on one open line, one after another.
  for (std::size_t first = 0; first < rq.instruments.size();) {
    std::size_t end = first + 1;
    while (end < rq.instruments.size() && SamePlan(rq.instruments[first], rq.instruments[end])) ++end;
    const InstrumentPlan& plan = rq.instruments[first];
    if (rq.stop && rq.stop->load()) {
      for (std::size_t i = first; i < rq.instruments.size(); ++i) {
        reads[i].outcome = InstrumentOutcome::Stopped;
        reads[i].started = reads[i].ended = std::chrono::system_clock::now();
      }
      break;
    }
    Collector obs(log, reads);
    TReadThread job(obs);
    obs.SetJob(&job);
    obs.Begin(first);
    PrepareReadJob(job, rq.settings, rq.home, ReadPlan{ReadKind::Custom, {}});
    std::vector<std::uint32_t> addresses;
    for (std::size_t i = first; i < end; ++i) addresses.push_back(rq.instruments[i].address);
    job.SetBatchAddresses(addresses);
    if (plan.kind == PlanKind::Full) job.SetReadAll(true);
    else job.SetReadNew(true);
    job.SetWantHourly(plan.hourly);
    job.SetWantDaily(plan.daily);
    job.SetWantMonthly(plan.monthly);
    job.SetWantEvents(plan.events);
    job.SetQuiet(true);
    if (rq.stop) job.SetStopFlag(rq.stop);
    const auto started = std::chrono::system_clock::now();
    job.RunHere();
    obs.Close();
    const auto ended = std::chrono::system_clock::now();
    const auto& results = job.BatchResults();
    for (std::size_t i = first; i < end; ++i) {
      InstrumentRead& r = reads[i];
      if (r.started == std::chrono::system_clock::time_point{}) r.started = started;
      r.ended = ended;
      const std::size_t k = i - first;
      if (k >= results.size()) {
        r.outcome =
            job.Result().outcome == ReadOutcome::Stopped ? InstrumentOutcome::Stopped : InstrumentOutcome::Failed;
        r.error = job.Result().Message();
        continue;
      }
      const ReadResult& res = results[k];
      r.outcome = OutcomeOf(res.outcome);
      r.error = !res.error ? std::string() : res.error->reason.empty() ? res.error->Text() : res.error->reason;
      if (!res.linkError.empty() && r.outcome == InstrumentOutcome::Failed) r.error += ": " + res.linkError;
      if (!res.fileWritten) r.file.clear();
      else r.file = res.file;
      r.partial = res.partial;
      if (r.outcome == InstrumentOutcome::Done && !res.delivered) {
        r.outcome = InstrumentOutcome::Failed;
        if (r.error.empty()) r.error = "нет данных";
      }
    }
    // The ended time of each but the last is the start of the next.
    for (std::size_t i = first; i + 1 < end; ++i)
      if (reads[i + 1].started != std::chrono::system_clock::time_point{}) reads[i].ended = reads[i + 1].started;
    first = end;
  }
  return reads;
}

}  // namespace statvtk::collect
