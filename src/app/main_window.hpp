// TMainForm: the multi-document frame of the desktop program: menus,
// toolbar, status bar and the child windows. Reading runs in its
// JobController; which command is enabled is decided in UpdateCommands alone.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/app_services.hpp"
#include "app/command_state.hpp"
#include "app/job_controller.hpp"
#include "app/main_menus.hpp"
#include "app/scan_dialog.hpp"
#include "base/ini_file.hpp"
#include "link/settings.hpp"
#include "reading/read_choice.hpp"
#include "stats/stat_file.hpp"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QSpinBox;

namespace statvtk::app {

class CurrentChild;
class LogWindow;
class RecentFiles;
class StatChild;
class StatusPanels;
class TrafficWindow;

class MainWindow : public QMainWindow, public AppServices {
  Q_OBJECT
 public:
  MainWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent = nullptr);
  ~MainWindow() override;

  // After the first show: opens the file named by the first argument, if any.
  void OpenFromCommandLine(const QStringList& arguments);

  // Lets tests (and the simulator demo) adjust each job before it starts.
  void SetJobSetup(std::function<void(TReadThread&)> setup);
  JobController& Jobs() { return *jobs_; }

  // --- commands ---
  void NewFile();
  void OpenCommand();
  void SaveCommand();
  void ReadStatistics();
  void ReadCurrent();
  void StopReading();
  void ExportReport();
  void ShowTechInfo();
  void ConnectionSettingsCommand();
  void ScanCommand();
  // The scan window's choices: an instrument's address and speed become the
  // connection settings; several instruments are read as one batch.
  bool UseScanEntry(const ScanEntry& entry);
  void ReadScanEntries(const QList<ScanEntry>& entries);
  void ReportParamsCommand();
  void ToggleTopMost();
  void ShowHelp();
  void ShowAbout();
  void ShowTraffic();
  void ShowMessages();

  // Opens a statistics file; false when nothing opened (another extension,
  // or an error shown).
  bool OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError = nullptr);
  // Files dropped on the window, one after the other; a size error stops the rest.
  void OpenDropped(const QList<QUrl>& urls);

  // The one place every command's enabled state is decided.
  void UpdateCommands();

  // --- state, for the status bar and the tests ---
  const MainActions& Actions() const { return actions_; }
  QMdiArea* Mdi() const { return mdi_; }
  LogWindow* Messages() const { return log_; }
  QMdiSubWindow* MessagesFrame() const { return logSub_; }
  QSpinBox* AddressField() const { return address_; }
  QProgressBar* Progress() const;
  QString PanelText(int panel) const;
  QLabel* EmptyStateText() const { return emptyState_; }
  const ConnectionSettings& Connection() const { return settings_; }
  const ReadChoice& Choice() const { return choice_; }
  int WindowCounter() const { return windowCounter_; }
  QMenu* RecentMenu() const { return menus_.recent; }
  QStringList RecentFiles() const;
  TrafficWindow* Traffic() const;
  Activity CurrentActivity() const;

  // --- AppServices ---
  UiSeam& Ui() override { return ui_; }
  const std::filesystem::path& Home() const override { return home_; }
  IniFile& Settings() override { return ini_; }
  void Log(const QString& line) override;
  void Status(const QString& text) override;
  // A write of StatVTK.ini failed: the one way the program tells it (a log
  // line and status panel 0, settings_failure.hpp).
  void SettingsNotWritten(const Error& e);
  void ProgressStart(int max) override;
  void ProgressStep(int pos) override;
  void ProgressFinish() override;
  ReportSettings Report() const override;
  void OpenEventsFor(QWidget* statWindow) override;
  bool JobRunning() const override { return jobs_->Running(); }
  bool StartCurrentRefresh(CurrentChild& target) override;
  bool ResumeCurrentRefresh(CurrentChild& target) override;
  void PollingChanged() override { UpdateCommands(); }

 Q_SIGNALS:
  // A reading job has ended and its last reports have been handled.
  void JobFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectActions();
  void ConnectJobs();
  void ApplyTopMost(bool on);
  void ShowConnectionText();
  void RestoreGeometry();
  void SaveGeometry();
  QString LastFolder(const char* key) const;
  void RememberFolder(const char* key, const QString& file);
  // Hands a failed settings write to SettingsNotWritten; true when written.
  bool SettingsWritten(const Result<void>& written);

  // Jobs.
  bool AddressAllowed();
  ConnectionSettings JobSettings() const;
  bool StartJob(const JobRequest& request);
  bool StartNextBatch();
  // Clears the stop, locks the read commands and asks the read parameters;
  // true, with choice_ taken from the dialog, when the user accepts them.
  bool AskReadChoice();
  void OnJobFinished(const JobEnd& end);
  void OnStatistics(const StatData& data, const QString& caption);
  void OnCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial,
                 CurrentChild* target);
  void BringFailureIntoSight(const JobEnd& end);
  std::vector<CurrentChild*> CurrentWindows() const;

  // Child windows.
  QMdiSubWindow* AddChild(QWidget* w);
  ActiveChild ActiveKind() const;
  StatChild* ActiveStat() const;
  StatChild* StatWindowFor(DeviceType type);

  UiSeam& ui_;
  std::filesystem::path home_;
  IniFile ini_;
  ConnectionSettings settings_;
  ReadChoice choice_;
  MainActions actions_;
  MainMenus menus_;
  QMdiArea* mdi_ = nullptr;
  QSpinBox* address_ = nullptr;
  std::unique_ptr<StatusPanels> status_;
  std::unique_ptr<app::RecentFiles> recent_;
  QLabel* emptyState_ = nullptr;
  LogWindow* log_ = nullptr;
  QMdiSubWindow* logSub_ = nullptr;
  QPointer<QMdiSubWindow> trafficSub_;
  QPointer<QWidget> help_;
  int windowCounter_ = 0;
  bool topMost_ = false;

  // The header block of the instrument last read, for "Техническая информация".
  // Batches still to read after the one running (the scan's choice, one per speed).
  std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> batches_;
  QString batchAddress_;  // "Адрес 3 (1 из 2)" while a batch reads it: panel 0 names it

  std::vector<std::uint8_t> lastHeader_;
  DeviceType lastType_ = DeviceType::dtUnknown;

  std::unique_ptr<JobController> jobs_;  // last: its run ends before the rest goes
};

}  // namespace statvtk::app
