// What a child window may ask of the main window: the UI seam, the program
// home and its settings, the message log, the status text and result bar,
// the progress bar, the report settings, an events window for a statistics window, and the reads of a
// current-readings window.
#pragma once

#include <QString>
#include <filesystem>

class QWidget;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

class UiSeam;
class CurrentChild;

// Where reports go and whether a finished one is opened (section Report).
struct ReportSettings {
  std::filesystem::path folder;  // default: the home's Reports/
  bool openWhenDone = true;
};

class AppServices {
 public:
  virtual ~AppServices() = default;

  virtual UiSeam& Ui() = 0;
  virtual const std::filesystem::path& Home() const = 0;
  virtual IniFile& Settings() = 0;

  // One time-stamped line in the "Сообщения" window.
  virtual void Log(const QString& line) = 0;
  // The text of status panel 0 (the current operation).
  virtual void Status(const QString& text) = 0;
  // A finished piece of work that wrote `file` (a report, an export): panel 0
  // says `text`, and the result bar offers to open the file or its folder.
  virtual void ShowResult(const QString& text, const std::filesystem::path& file) = 0;

  // The progress bar along the bottom edge.
  virtual void ProgressStart(int max) = 0;
  virtual void ProgressStep(int pos) = 0;
  virtual void ProgressFinish() = 0;

  virtual ReportSettings Report() const = 0;

  // Opens (or brings forward) the events window of a statistics window.
  virtual void OpenEventsFor(QWidget* statWindow) = 0;

  // True while a reading job runs (a report then leaves the progress bar to it).
  virtual bool JobRunning() const = 0;

  // The current-readings window's timer: a current-values job whose result
  // goes to `target` (ShowCurrent, or RefreshFailed when it ends without
  // data). False when no job starts now: another job runs, or the user has
  // stopped reading (then the tick does nothing).
  virtual bool StartCurrentRefresh(CurrentChild& target) = 0;
  // The user resumes a stopped window's polling: the stop request is cleared
  // and its read starts at once. False when another job runs.
  virtual bool ResumeCurrentRefresh(CurrentChild& target) = 0;
  // A current-readings window started or stopped polling (its commands change).
  virtual void PollingChanged() = 0;
};

}  // namespace statvtk::app
