// The command-line program's ReadObserver: log lines and stage texts on
// stderr time-stamped as in the log window, a progress bar when stderr is a
// terminal, the frame trace, and what the job hands over kept for the command.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "front/read_observer.hpp"
#include "link/tmod07.hpp"

namespace statvtk::cli {

// "[DD.MM.YYYY hh:mm:ss]  " of the local time.
std::string LogStamp(std::chrono::system_clock::time_point t);

class CliObserver : public ReadObserver {
 public:
  CliObserver(std::ostream& err, bool progressBar);

  void LogLine(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowDetail(const std::string& text) override;
  void SetProgressMax(int max) override;
  void SetProgressPos(int pos) override;
  void EnableControls() override;
  void DeliverStatistics(const StatData& data, const std::string& caption, bool partial) override;
  void DeliverCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) override;
  void FetchedBeforeFailure(const StatData& data) override { stats_ = data; }
  void Trace(const FrameTrace& f);
  // Takes the progress bar off the terminal line (before other output there).
  void ClearProgress() { ClearBar(); }

  // What was handed over (or fetched before a failure).
  const std::optional<StatData>& Statistics() const { return stats_; }
  const std::string& Caption() const { return caption_; }
  bool HasCurrent() const { return hasCurrent_; }
  std::span<const std::uint8_t, 1024> CurrentBlock() const { return current_; }
  DeviceType CurrentType() const { return currentType_; }
  const std::string& CurrentSerial() const { return currentSerial_; }
  void ClearCurrent() { hasCurrent_ = false; }

 private:
  void ClearBar();
  void DrawBar(bool force);
  void Line(const std::string& text);

  std::ostream& err_;
  bool bar_;
  bool barShown_ = false;
  int max_ = 0, pos_ = 0;
  std::string status_, detail_;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::optional<StatData> stats_;
  std::string caption_;
  bool hasCurrent_ = false;
  std::array<std::uint8_t, 1024> current_{};
  DeviceType currentType_ = DeviceType::dtUnknown;
  std::string currentSerial_;
};

}  // namespace statvtk::cli
