// Test support for the reading job: an observer that records every text the
// program shows of a read (the engine's events worded as the program words
// them, the Windows program's link texts), a carrier decorator that records
// the requests and can fall silent, and a job wired to an in-process
// simulated instrument.
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.hpp"
#include "base/program_home.hpp"
#include "front/part_sink.hpp"
#include "link/frame.hpp"
#include "reading/job_prep.hpp"
#include "reading/read_thread.hpp"
#include "sim/instrument.hpp"
#include "sim/sim_channel.hpp"

namespace statvtk::test {

class RecordingObserver : public ReadObserver {
 public:
  void LogLine(const std::string& t) override {
    log.push_back(t);
    if (onLog) onLog(t);
  }
  void ShowStatus(const std::string& t) override {
    status.push_back(t);
    if (onStatus) onStatus(t);
  }
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int m) override { progressMax.push_back(m); }
  void SetProgressPos(int p) override {
    progressPos.push_back(p);
    if (onPos) onPos(p);
  }
  void EnableControls() override { ++enabled; }
  void DeliverStatistics(const StatData& d, const std::string& c, bool) override {
    stats = d;
    caption = c;
  }
  void DeliverCurrent(std::span<const std::uint8_t, 1024> b, DeviceType t, const std::string& s) override {
    current.assign(b.begin(), b.end());
    currentType = t;
    currentSerial = s;
  }
  void DeviceMemberFound(DeviceType t) override { member = t; }
  void StatisticsFileFailed(const std::filesystem::path&, const std::string& e) override { fileFailure = e; }

  bool Logged(const std::string& t) const { return std::find(log.begin(), log.end(), t) != log.end(); }
  bool Shown(const std::string& t) const { return std::find(status.begin(), status.end(), t) != status.end(); }
  bool LoggedPrefix(const std::string& p) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(p, 0) == 0; });
  }

  std::vector<std::string> log, status;
  std::vector<int> progressMax, progressPos;
  int enabled = 0;
  std::optional<StatData> stats;
  std::string caption;
  std::vector<std::uint8_t> current;
  DeviceType currentType = DeviceType::dtUnknown, member = DeviceType::dtUnknown;
  std::string currentSerial, fileFailure;
  std::function<void(const std::string&)> onStatus, onLog;
  std::function<void(int)> onPos;
};

// The requests a job sent, decoded.
struct SentRequest {
  frame::Form form;
  std::uint32_t address;
  frame::Op op;
  std::uint32_t offset;
  std::uint8_t count;
};

// Forwards to the simulated instrument; records each request; after
// `silentAfter` requests it swallows every further one (a line gone dead).
class RecordingChannel : public ByteChannel {
 public:
  RecordingChannel(sim::Instrument& inst, std::vector<SentRequest>& sent, std::size_t silentAfter, int* open = nullptr)
      : inner_(inst), sent_(sent), silentAfter_(silentAfter), open_(open) {
    if (open_) ++*open_;
  }
  ~RecordingChannel() override {
    if (open_) --*open_;
  }
  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    Record(bytes);
    if (++written_ > silentAfter_) return bytes.size();
    return inner_.Write(bytes);
  }
  void Purge(std::vector<std::uint8_t>* d) override { inner_.Purge(d); }
  void DropInput(std::vector<std::uint8_t>* d) override { inner_.DropInput(d); }
  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds w) override { return inner_.ReadByte(w); }
  std::uint32_t CarrierWaitMs() const override { return 0; }
  bool IsOpen() const override { return true; }

 private:
  void Record(std::span<const std::uint8_t> b) {
    if (b.size() < 7) return;
    const bool isLong = b.size() >= 9 && static_cast<std::uint8_t>(~b[1]) != b[2];
    const frame::Form f = isLong ? frame::Form::Long : frame::Form::Short;
    const std::size_t h = frame::HeaderSize(f);
    const std::uint32_t addr = isLong ? (b[1] | b[2] << 8 | b[3] << 16 | static_cast<std::uint32_t>(b[4]) << 24) : b[1];
    auto d = frame::DecodeRequest(f, b[h - 3], b[h - 2], b.subspan(h, b.size() - h - 1));
    if (d) sent_.push_back({f, addr, d->op, d->offset, d->count});
  }
  sim::SimChannel inner_;
  std::vector<SentRequest>& sent_;
  std::size_t silentAfter_;
  std::size_t written_ = 0;
  int* open_;
};

// What the tests ask of a run of one instrument: the engine's result, the
// file written after it, and the texts the program gives its failure.
struct JobOutcome {
  ReadOutcome outcome = ReadOutcome::NotRun;
  DeviceType type = DeviceType::dtUnknown;
  std::string identText;
  std::filesystem::path file;
  bool fileWritten = false;
  bool partial = false;
  std::string message, linkCause, fileError;
  const std::string& Message() const { return message; }  // the failure's message ("Ошибка чтения RTC")
  const std::string& LinkCauseText() const { return linkCause; }  // "нет ответа за 30 мс (Тайм-аут [2])"
  const std::string& FileErrorText() const { return fileError; }
};

// The sink a test job shows its run through: the program's texts with the
// link named as the Windows program names it.
struct TestSink {
  explicit TestSink(ReadObserver& obs) : sink(obs, {}, PartStyle{LinkWording::Part, false, false, false}) {}
  PartSink sink;
};

// A read thread with the job built field by field, as the tests vary it:
// one instrument, or several with one plan.
class TestJob : private TestSink, public TReadThread {
 public:
  explicit TestJob(ReadObserver& obs) : TestSink(obs), TReadThread(sink) { Job().instruments.resize(1); }
  InstrumentRequest& Instrument() { return Job().instruments.front(); }
  // The statistics plan; another read does not consult it.
  StatisticsPlan& Plan() {
    auto* plan = std::get_if<StatisticsPlan>(&Instrument().plan);
    return plan ? *plan : unused_;
  }
  void SetReadLast(bool on) {
    if (on) Plan().range = RecordRange::Last;
  }
  void SetWantHourly(bool on) { Plan().kinds.hourly = on; }
  void SetWantDaily(bool on) { Plan().kinds.daily = on; }
  void SetWantMonthly(bool on) { Plan().kinds.monthly = on; }
  void SetWantEvents(bool on) { Plan().kinds.events = on; }
  void SetLastHours(std::int32_t n) { Plan().lastHours = n; }
  void SetLastDays(std::int32_t n) { Plan().lastDays = n; }
  void SetReadCurrent(bool on) {
    if (on) Instrument().plan = CurrentPlan{};
  }
  void SetIdentifyOnly(bool on) {
    if (on) Instrument().plan = IdentifyPlan{};
  }
  // The network address, or the 32-bit one in M-Bus mode.
  void SetUseMBus(bool on) {
    Job().line.useMBus = on;
    Address();
  }
  void SetNetAddress(std::uint32_t a) {
    net_ = a;
    Address();
  }
  void SetMBusAddress(std::uint32_t a) {
    mbus_ = a;
    Address();
  }
  // The program home: where the files go and a new-records read finds its base.
  void SetProgramHome(const std::filesystem::path& h) {
    home_ = h;
    sink.SetHome(h);
  }
  void SetChannelFactory(Tmod07::ChannelFactory f) { Hooks().channelFactory = std::move(f); }
  void SetClock(PartSink::Clock c) { sink.SetClock(std::move(c)); }
  void SetTiming(const TimingTriple& t) { Job().line.timing = t; }
  // The connection of the settings; what to read and the home stay.
  void SetConnection(const ConnectionSettings& s) {
    ReadJob j = MakeReadJob(s, home_, ReadPlan{ReadKind::Custom, {}});
    j.instruments = {{static_cast<std::uint32_t>(s.netAddress), Instrument().plan}};
    SetJob(std::move(j));
  }
  std::uint32_t ReplyTimeout() { return Job().line.timing.replyTimeout; }

  void Start() {
    Prepare();
    TReadThread::Start();
  }
  void RunHere() {
    Prepare();
    TReadThread::RunHere();
  }
  // The one instrument's read (valid after Wait()).
  JobOutcome Result() const {
    JobOutcome o;
    const LineResult& run = Output();
    const ReadReport* rep = sink.Reports().empty() ? nullptr : &sink.Reports().front();
    const ReadResult& r = rep ? rep->result : run.whole;
    o.outcome = run.whole.outcome;
    o.type = r.type;
    o.identText = r.identText;
    o.partial = r.partial;
    if (rep) {
      o.file = rep->file.path;
      o.fileWritten = rep->file.written;
      o.fileError = rep->file.error ? rep->file.error->reason : std::string();
    }
    if (r.outcome == ReadOutcome::Failed) o.message = NotReadText(r, sink.Line(), LinkWording::Part);
    if (r.error && IsLinkCode(r.error->code)) o.linkCause = CauseText(*r.error, LinkWording::Part);
    return o;
  }

 private:
  void Address() { Instrument().address = Job().line.useMBus ? mbus_ : net_; }
  // A new-records read without a base file of its own takes the newest in the home's Data folder.
  void Prepare() {
    for (InstrumentRequest& in : Job().instruments)
      if (auto* plan = std::get_if<StatisticsPlan>(&in.plan))
        if (auto* newest = std::get_if<NewestIn>(&plan->base)) newest->folder = DataFolder(home_);
  }
  StatisticsPlan unused_;
  std::uint32_t net_ = 0, mbus_ = 0;
  std::filesystem::path home_;
};

struct JobRig {
  explicit JobRig(sim::InstrumentOptions o = {}) : instrument(o), job(obs) {
    job.SetProgramHome(home);
    job.SetChannelFactory([this](Tmod07&) -> std::unique_ptr<ByteChannel> {
      if (refuseOpen) return nullptr;
      return std::make_unique<RecordingChannel>(instrument, sent, silentAfter, &openChannels);
    });
    // Fast: short waits; the long form's fixed 50 ms pause is skipped.
    job.SetTiming({10, 30, 2});
    job.Hooks().waitFunction = [](std::uint32_t) {};
    job.SetNetAddress(o.address);
    job.Job().line.mode = ConnectMode::Tcp;
    job.Job().line.target = TcpLine{"127.0.0.1", 10001, false, false, "", 5};
  }
  // M-Bus with the instrument's 32-bit address (the only way an LDN-08 reads).
  void UseMBus() {
    job.SetUseMBus(true);
    job.SetMBusAddress(instrument.Options().longAddress);
  }
  void UseMBusIfLdn() {
    if (instrument.Options().model == DeviceType::dtLDN08) UseMBus();
  }
  void AllKinds() {
    job.Plan().range = RecordRange::All;
    job.SetWantHourly(true);
    job.SetWantDaily(true);
    job.SetWantMonthly(true);
    job.SetWantEvents(true);
  }
  std::vector<std::filesystem::path> DataFiles() const {
    std::vector<std::filesystem::path> v;
    std::error_code ec;
    if (std::filesystem::is_directory(home / "Data", ec))
      for (const auto& e : std::filesystem::directory_iterator(home / "Data")) v.push_back(e.path());
    return v;
  }

  link_test::TempFolder folder;
  std::filesystem::path home = folder.Path();
  sim::Instrument instrument;
  RecordingObserver obs;
  TestJob job;
  int openChannels = 0;  // carriers of the job not yet closed
  std::vector<SentRequest> sent;
  std::size_t silentAfter = SIZE_MAX;
  bool refuseOpen = false;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& p);

}  // namespace statvtk::test
