// The core's progress reports (log lines, stage text, progress bar) passed to
// the main window through AppServices, for work that runs in the GUI thread.
#pragma once

#include "app/app_services.hpp"
#include "base/progress_observer.hpp"

namespace statvtk::app {

class ServicesProgress : public ProgressObserver {
 public:
  explicit ServicesProgress(AppServices& app) : app_(app) {}
  void LogLine(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowDetail(const std::string&) override {}
  // A maximum of 0 hides the bar (the core's "restore when no reading runs").
  void SetProgressMax(int max) override;
  void SetProgressPos(int pos) override;

 private:
  AppServices& app_;
};

}  // namespace statvtk::app
