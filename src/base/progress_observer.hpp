// How long work reports to the user: time-stamped log lines, the stage text
// (status panel 0), the detail text (status panel 2) and a progress bar.
// Front ends implement it (the desktop program with queued calls into its GUI
// thread, the command-line program by printing); the core never sees a window.
#pragma once

#include <string>

namespace statvtk {

class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  virtual void LogLine(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ShowDetail(const std::string& text) = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPos(int pos) = 0;
};

// An observer that drops everything (for callers that want no reporting).
class NullProgressObserver : public ProgressObserver {
 public:
  void LogLine(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
};

}  // namespace statvtk
