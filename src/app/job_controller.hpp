// JobController: the desktop's one reading job at a time. It owns the
// TReadThread, the thread it runs on, the stop request and the window a
// refresh is for; the engine's events become the program's texts in its
// PartSink (the one place), and it tells the frame about a run only through
// its signals, emitted in order on the GUI thread: started, then any of log /
// stage / detail / progress / traffic / file... / ...Delivered, then finished.
// A sequence of jobs (several addresses one after another) is run by
// starting the next one from the finished signal.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "front/part_sink.hpp"
#include "front/read_observer.hpp"
#include "link/settings.hpp"
#include "link/tmod07.hpp"
#include "reading/job_prep.hpp"
#include "reading/read_thread.hpp"

class QWidget;

namespace statvtk::app {

class CurrentChild;
class TrafficWindow;

// One entry of the traffic monitor.
struct TrafficEntry {
  QDateTime when;
  FrameTrace::Direction direction = FrameTrace::Direction::Sent;
  QByteArray bytes;
  std::uint32_t result = 0;  // link error code of a reception (0: a good frame)
};

// What the frame asks for: what to read, over which connection (the address
// included), and the current-readings window a refresh is for.
struct JobRequest {
  ReadPlan plan;
  ConnectionSettings settings;
  QPointer<QWidget> target;  // CurrentRefresh only: its window (null once it is gone)
  bool userStarted = true;   // false: a poll tick of a current-readings window
  // Several instruments in one run (Statistics only): the line is opened once
  // and each address read in turn into its own file. Empty: settings.netAddress.
  std::vector<std::uint32_t> batch;
};

// How a run ended, with the request it was for.
struct JobEnd {
  ReadKind kind = ReadKind::Statistics;
  // The run: one instrument's read (its result, file and hand-over); of a
  // batch, the whole (its outcome and cause).
  ReadReport report;
  LineSpec line;  // the line it ran on
  bool userStarted = true;
  CurrentChild* target = nullptr;  // null when there was none or it has closed since
  std::vector<ReadReport> batch;   // a batch: each address's own read, in the order read
  std::size_t batchAsked = 0;      // how many addresses the batch was given
};

class JobController : public QObject, private ReadObserver {
  Q_OBJECT
 public:
  // Starts a thread running `work`; throws std::system_error when it cannot.
  using Launcher = std::function<std::jthread(std::function<void()> work)>;

  explicit JobController(const std::filesystem::path& home, QObject* parent = nullptr);
  ~JobController() override;  // asks a run still going to stop, then waits for it

  // Starts a run; false (nothing started, nothing signalled) when one runs
  // already or the thread cannot be made: `error` then says why.
  bool Start(const JobRequest& request, QString* error = nullptr);
  bool Running() const { return job_ != nullptr; }
  ReadKind Kind() const { return request_.plan.kind; }

  // "Остановить чтение": the run ends at its next check. The request stays
  // set until a user starts a run again, so a poll tick starts nothing.
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  void ClearStop() { stop_ = false; }

  // The frame trace is collected only while a traffic monitor is open:
  // `monitor` takes the frames until it is destroyed.
  void WatchTraffic(TrafficWindow* monitor);
  // A frame of a run outside this controller (the search of the scan
  // window), from any thread: to the monitors like the runs' own.
  void TraceFrame(const FrameTrace& frame);
  // Lets tests (and the simulator demo) adjust each job before it starts.
  void SetJobSetup(std::function<void(TReadThread&)> setup) { setup_ = std::move(setup); }
  void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }

 Q_SIGNALS:
  void started(statvtk::ReadKind kind);
  void log(const QString& line);
  void stage(const QString& text);   // status panel 0; empty clears it
  void detail(const QString& text);  // status panel 2
  void progress(int pos, int max);
  // A batch turns to the instrument at `address` (index 0-based of `count`).
  void batchAddress(quint32 address, int index, int count);
  void traffic(const statvtk::app::TrafficEntry& entry);
  void fileWritten(const QString& path);
  void fileFailed(const QString& path, const QString& error);
  // `partial`: a stop ended the archives, the window holds what came before it.
  void statisticsDelivered(const statvtk::StatData& data, const QString& caption, bool partial);
  void currentDelivered(const std::array<std::uint8_t, 1024>& block, statvtk::DeviceType type, const QString& serial,
                        statvtk::app::CurrentChild* target);
  void finished(const statvtk::app::JobEnd& end);

 private:
  // ReadObserver, called by the sink on the job's thread: each report is
  // posted. The log and the status panels:
  void LogLine(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowDetail(const std::string& text) override;
  // The progress bar:
  void SetProgressMax(int max) override;
  void SetProgressPos(int pos) override;
  // The end of the run's lock on the read commands, the hand-over and the file:
  void EnableControls() override;
  void DeliverStatistics(const StatData& data, const std::string& caption, bool partial) override;
  void DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) override;
  void StatisticsFileWritten(const std::filesystem::path& path) override;
  void StatisticsFileFailed(const std::filesystem::path& path, const std::string& error) override;
  void BatchAddressStarted(std::uint32_t address, std::size_t index, std::size_t count) override;

  template <class Fn>
  void Post(Fn&& fn);
  void Finish();
  CurrentChild* LiveTarget() const;

  std::filesystem::path home_;
  PartSink sink_;
  std::unique_ptr<TReadThread> job_;
  std::jthread worker_;
  JobRequest request_;
  std::atomic<bool> stop_{false};
  std::atomic<int> monitors_{0};
  int progressMax_ = 100;
  std::function<void(TReadThread&)> setup_;
  Launcher launcher_;
};

}  // namespace statvtk::app
