// The desktop's ReadObserver: every report of the reading job is posted, with
// a copy of its data, in order to the GUI thread, where a JobSink handles it.
// The job never waits for the GUI, so the GUI may wait for the job's end
// without a deadlock; posts left after the bridge is gone are dropped.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>

#include "link/tmod07.hpp"
#include "reading/read_observer.hpp"

namespace statvtk::app {

// One entry of the traffic monitor.
struct TrafficEntry {
  QDateTime when;
  FrameTrace::Direction direction = FrameTrace::Direction::Sent;
  QByteArray bytes;
  std::uint32_t result = 0;  // link error code of a reception (0: a good frame)
};

// What the GUI thread does with a job's reports.
class JobSink {
 public:
  virtual ~JobSink() = default;
  virtual void JobLog(const QString& line) = 0;
  virtual void JobStatus(const QString& text) = 0;
  virtual void JobDetail(const QString& text) = 0;
  virtual void JobProgressMax(int max) = 0;
  virtual void JobProgressPos(int pos) = 0;
  virtual void JobDisableControls() = 0;
  virtual void JobEnableControls() = 0;
  virtual void JobStatistics(const StatData& data, const QString& caption) = 0;
  virtual void JobCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial) = 0;
  virtual void JobFileWritten(const QString& path) = 0;
  virtual void JobFileFailed(const QString& path, const QString& error) = 0;
  virtual void JobTraffic(const TrafficEntry& entry) = 0;
};

class GuiObserver : public QObject, public ReadObserver {
 public:
  explicit GuiObserver(JobSink& sink, QObject* parent = nullptr);

  void LogLine(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowDetail(const std::string& text) override;
  void SetProgressMax(int max) override;
  void SetProgressPos(int pos) override;
  void DisableControls() override;
  void EnableControls() override;
  void DeliverStatistics(const StatData& data, const std::string& caption) override;
  void DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type,
                      const std::string& serial) override;
  void StatisticsFileWritten(const std::filesystem::path& path) override;
  void StatisticsFileFailed(const std::filesystem::path& path, const std::string& error) override;

  // The link's frame trace; posted only while tracing is on (the traffic
  // monitor is open), otherwise one atomic load.
  void Trace(const FrameTrace& frame);
  void SetTracing(bool on) { tracing_.store(on); }
  bool Tracing() const { return tracing_.load(); }

 private:
  template <class Fn>
  void Post(Fn&& fn);

  JobSink& sink_;
  std::atomic<bool> tracing_{false};
};

}  // namespace statvtk::app
