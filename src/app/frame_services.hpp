// What the main window offers its child windows (AppServices), over the
// frame's parts: the log, status panel 0 and the result bar, the progress
// bar, the report settings, the events window and the current-readings reads.
#pragma once

#include "app/app_services.hpp"

namespace statvtk::app {

struct FrameParts;
class ReadCommands;

class FrameServices : public AppServices {
 public:
  FrameServices(FrameParts& parts, ReadCommands& reads) : parts_(parts), reads_(reads) {}

  UiSeam& Ui() override;
  const std::filesystem::path& Home() const override;
  IniFile& Settings() override;
  void Log(const QString& line) override;
  void Status(const QString& text) override;
  void ShowResult(const QString& text, const std::filesystem::path& file) override;
  void ProgressStart(int max) override;
  void ProgressStep(int pos) override;
  void ProgressFinish() override;
  ReportSettings Report() const override;
  void OpenEventsFor(QWidget* statWindow) override;
  bool JobRunning() const override;
  bool StartCurrentRefresh(CurrentChild& target) override;
  bool ResumeCurrentRefresh(CurrentChild& target) override;
  void PollingChanged() override;

 private:
  FrameParts& parts_;
  ReadCommands& reads_;
};

}  // namespace statvtk::app
