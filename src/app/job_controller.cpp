#include "app/job_controller.hpp"

#include <QMetaObject>
#include <QWidget>
#include <algorithm>
#include <system_error>

#include "app/child_windows.hpp"
#include "app/path_text.hpp"
#include "app/traffic_window.hpp"

namespace statvtk::app {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
const QString kNoThread = QStringLiteral("Ошибка: Невозможно создать поток чтения статистики");
}  // namespace

JobController::JobController(const std::filesystem::path& home, QObject* parent)
    : QObject(parent),
      home_(home),
      sink_(static_cast<ReadObserver&>(*this), home),
      launcher_([](std::function<void()> work) { return std::jthread(std::move(work)); }) {}

JobController::~JobController() {
  // The job only posts to this object, never waits for it: joining is safe,
  // and what it posted is dropped with the object.
  if (job_) job_->RequestStop();
  if (worker_.joinable()) worker_.join();
}

bool JobController::Start(const JobRequest& request, QString* error) {
  if (job_) {
    if (error) *error = QStringLiteral("Идет другое чтение");
    return false;
  }
  request_ = request;
  progressMax_ = 100;
  // A poll of an open window shows no stage texts.
  sink_.SetStyle({.quietStages = request.plan.kind == ReadKind::CurrentRefresh, .dialStages = true});
  auto job = std::make_unique<TReadThread>(sink_);
  job->SetJob(MakeReadJob(request.settings, home_, request.plan));
  if (!request.batch.empty()) {
    job->Job().instruments.clear();
    for (std::uint32_t a : request.batch) job->Job().instruments.push_back({a, InstrumentPlanOf(request.plan, home_)});
  }
  job->SetStopFlag(&stop_);
  job->Hooks().trace = [this](const FrameTrace& f) { TraceFrame(f); };
  if (setup_) setup_(*job);
  TReadThread* run = job.get();
  try {
    worker_ = launcher_([this, run] {
      run->RunHere();
      // Posted after every report of the run, so it arrives last.
      Post([this] { Finish(); });
    });
  } catch (const std::system_error&) {
    if (error) *error = kNoThread;
    return false;
  }
  job_ = std::move(job);
  Q_EMIT started(request.plan.kind);
  return true;
}

void JobController::RequestStop() {
  stop_ = true;
  if (job_) job_->RequestStop();
}

CurrentChild* JobController::LiveTarget() const {
  return request_.target ? dynamic_cast<CurrentChild*>(request_.target.data()) : nullptr;
}

void JobController::Finish() {
  if (worker_.joinable()) worker_.join();  // the run has ended: this does not block
  JobEnd end;
  end.kind = request_.plan.kind;
  const auto& reports = sink_.Reports();
  if (job_ && request_.batch.empty() && !reports.empty()) end.report = reports.front();
  else if (job_) end.report.result = job_->Output().whole;
  if (job_) end.line = job_->Job().line;
  end.userStarted = request_.userStarted;
  end.target = LiveTarget();
  if (job_ && !request_.batch.empty()) {
    end.batch = reports;
    end.batchAsked = request_.batch.size();
  }
  job_.reset();
  request_ = {};
  Q_EMIT finished(end);
}

template <class Fn>
void JobController::Post(Fn&& fn) {
  QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::QueuedConnection);
}

void JobController::LogLine(const std::string& text) {
  if (!text.empty()) Post([this, t = Q(text)] { Q_EMIT log(t); });
}
void JobController::ShowStatus(const std::string& text) {
  Post([this, t = Q(text)] { Q_EMIT stage(t); });
}
void JobController::ShowDetail(const std::string& text) {
  Post([this, t = Q(text)] { Q_EMIT detail(t); });
}
void JobController::SetProgressMax(int max) {
  Post([this, max] {
    progressMax_ = std::max(max, 1);
    Q_EMIT progress(0, progressMax_);
  });
}
void JobController::SetProgressPos(int pos) {
  Post([this, pos] { Q_EMIT progress(std::clamp(pos, 0, progressMax_), progressMax_); });
}
void JobController::EnableControls() {
  // The end of a run clears the stage text; a failure sets its message after this.
  Post([this] { Q_EMIT stage(QString()); });
}
void JobController::DeliverStatistics(const StatData& data, const std::string& caption, bool partial) {
  Post([this, data, c = Q(caption), partial] { Q_EMIT statisticsDelivered(data, c, partial); });
}
void JobController::DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type,
                                   const std::string& serial) {
  std::array<std::uint8_t, 1024> copy{};
  std::copy(block.begin(), block.end(), copy.begin());
  Post([this, copy, type, s = Q(serial)] {
    // A refresh goes to its window only, and to none once that has closed;
    // a check of the link opens no window.
    if (request_.plan.kind == ReadKind::Check) return;
    if (request_.plan.kind == ReadKind::CurrentRefresh && !LiveTarget()) return;
    Q_EMIT currentDelivered(copy, type, s, LiveTarget());
  });
}
void JobController::StatisticsFileWritten(const std::filesystem::path& path) {
  Post([this, p = PathText(path)] { Q_EMIT fileWritten(p); });
}
void JobController::StatisticsFileFailed(const std::filesystem::path& path, const std::string& error) {
  Post([this, p = PathText(path), e = Q(error)] { Q_EMIT fileFailed(p, e); });
}

void JobController::BatchAddressStarted(std::uint32_t address, std::size_t index, std::size_t count) {
  Post([this, address, index, count] {
    Q_EMIT batchAddress(address, static_cast<int>(index), static_cast<int>(count));
  });
}

void JobController::WatchTraffic(TrafficWindow* monitor) {
  ++monitors_;
  connect(monitor, &QObject::destroyed, this, [this] { --monitors_; });
  connect(this, &JobController::traffic, monitor, &TrafficWindow::Add);
}

void JobController::TraceFrame(const FrameTrace& frame) {
  if (monitors_.load(std::memory_order_relaxed) == 0) return;
  TrafficEntry e;
  e.when = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(frame.when.time_since_epoch()).count());
  e.direction = frame.direction;
  e.bytes = QByteArray(reinterpret_cast<const char*>(frame.bytes.data()), static_cast<qsizetype>(frame.bytes.size()));
  e.result = frame.result;
  Post([this, e] { Q_EMIT traffic(e); });
}

}  // namespace statvtk::app
