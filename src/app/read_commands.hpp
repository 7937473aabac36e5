// The frame's reading commands: statistics (one instrument, or the scan's
// choice as one batch per speed), current readings and their polling, stop;
// and what the frame does with the reports of its JobController: status bar,
// progress bar, log, the result line, the hand-over to child windows, and a
// failure brought into sight.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "app/command_state.hpp"
#include "app/scan_dialog.hpp"
#include "reading/batch_plan.hpp"
#include "reading/read_choice.hpp"
#include "front/part_sink.hpp"
#include "reading/read_thread.hpp"

namespace statvtk::app {

struct FrameParts;
struct JobEnd;
struct JobRequest;
class CurrentChild;

class ReadCommands : public QObject {
  Q_OBJECT
 public:
  explicit ReadCommands(FrameParts& parts, QObject* parent = nullptr);

  void ReadStatistics();
  void ReadCurrent();
  // "Проверить связь": who answers at the toolbar's address (model, serial, firmware).
  void CheckLink();
  void StopReading();
  // The scan window's choice: one batch per speed, each on a line opened once.
  void ReadScanEntries(const QList<ScanEntry>& entries);
  bool StartCurrentRefresh(CurrentChild& target);
  bool ResumeCurrentRefresh(CurrentChild& target);

  // What runs, and whether the read parameters are being asked.
  Activity CurrentActivity() const;
  bool Asking() const { return asking_; }
  const ReadChoice& Choice() const { return choice_; }
  // A user's statistics read (or batch) runs: leaving asks first.
  bool UserReadRunning() const;
  int WindowCounter() const { return windowCounter_; }
  // The next number of a new statistics window ("Статистика N").
  int NextWindowNumber() { return ++windowCounter_; }

 Q_SIGNALS:
  // A reading job has ended and its last reports have been handled.
  void JobFinished();

 private:
  void Connect();
  // Empty when the toolbar's address can be asked, else the reason.
  QString AddressProblemText() const;
  ConnectionSettings JobSettings() const;
  bool StartJob(const JobRequest& request);
  bool StartNextBatch();
  // Clears the stop and asks the read parameters (the read commands are off
  // meanwhile); true, with the choice taken, when the user accepts them.
  bool AskReadChoice();
  void OnFinished(const JobEnd& end);
  void OnStatistics(const StatData& data, const QString& caption, bool partial);
  void OnCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial,
                 CurrentChild* target);
  void TellOutcome(const JobEnd& end);
  void TellCheck(const JobEnd& end);
  void BringFailureIntoSight(const JobEnd& end);

  FrameParts& parts_;
  ReadChoice choice_;
  bool asking_ = false;
  int windowCounter_ = 0;
  std::vector<SpeedBatch> batches_;  // still to read after the one running
  std::vector<ReadReport> batchResults_;
  LineSpec batchLine_;  // the line of the batches (for the summary's words)
  std::size_t batchAsked_ = 0;
  std::uint32_t reading_ = 0;       // the address being read (a batch names each in turn)
  QString batchAddress_;            // "Адрес 3 (1 из 2)" while a batch reads it: panel 0 names it
  std::vector<QString> pollLines_;  // a poll's log lines, told as one
  QElapsedTimer checkClock_;        // how long the instrument took to answer a check
};

}  // namespace statvtk::app
