// TMainForm: the multi-document frame of the desktop program. It owns the
// settings, the menus, toolbar, status bar and progress bar, the reading job
// and its hand-over to the child windows, and the file commands.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/app_services.hpp"
#include "app/gui_observer.hpp"
#include "base/ini_file.hpp"
#include "link/settings.hpp"
#include "reading/read_choice.hpp"
#include "reading/read_thread.hpp"
#include "stats/stat_file.hpp"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QSpinBox;

namespace statvtk::app {

class CurrentChild;
class LogWindow;
class StatChild;
class TrafficWindow;

// The menu commands, declared once and shared by menus and toolbar.
struct MainActions {
  QAction* newFile = nullptr;
  QAction* open = nullptr;
  QAction* save = nullptr;
  QAction* exit = nullptr;
  QAction* read = nullptr;     // NRead / ToolButtonRead
  QAction* readTek = nullptr;  // NReadTek / ToolButtonReadTek
  QAction* stop = nullptr;
  QAction* exportReport = nullptr;
  QAction* techInfo = nullptr;
  QAction* connection = nullptr;
  QAction* reportParams = nullptr;
  QAction* topMost = nullptr;
  QAction* cascade = nullptr;
  QAction* traffic = nullptr;
  QAction* messages = nullptr;
  QAction* help = nullptr;
  QAction* about = nullptr;
};

class MainWindow : public QMainWindow, public AppServices, public JobSink {
  Q_OBJECT
 public:
  MainWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent = nullptr);
  ~MainWindow() override;

  // After the first show: opens the file named by the first argument, if any.
  void OpenFromCommandLine(const QStringList& arguments);

  // Lets tests (and the simulator demo) adjust each job before it starts.
  void SetJobSetup(std::function<void(TReadThread&)> setup) { jobSetup_ = std::move(setup); }

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
  void ReportParamsCommand();
  void ToggleTopMost();
  void ShowHelp();
  void ShowAbout();
  void ShowTraffic();

  // Opens a statistics file; `shown` names it in the caption and messages.
  // False when nothing opened (another extension, or an error shown).
  bool OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError = nullptr);
  // Files dropped on the window, one after the other; a size error stops the rest.
  void OpenDropped(const QList<QUrl>& urls);

  // --- state, for the status bar and the tests ---
  const MainActions& Actions() const { return actions_; }
  QMdiArea* Mdi() const { return mdi_; }
  LogWindow* Messages() const { return log_; }
  QSpinBox* AddressField() const { return address_; }
  QProgressBar* Progress() const { return progress_; }
  QString PanelText(int panel) const;
  const ConnectionSettings& Connection() const { return settings_; }
  const ReadChoice& Choice() const { return choice_; }
  int WindowCounter() const { return windowCounter_; }
  QMenu* RecentMenu() const { return recentMenu_; }
  QStringList RecentFiles() const;
  TrafficWindow* Traffic() const;

  // --- AppServices ---
  UiSeam& Ui() override { return ui_; }
  const std::filesystem::path& Home() const override { return home_; }
  IniFile& Settings() override { return ini_; }
  void Log(const QString& line) override;
  void Status(const QString& text) override;
  void ProgressStart(int max) override;
  void ProgressStep(int pos) override;
  void ProgressFinish() override;
  ReportSettings Report() const override;
  void OpenEventsFor(QWidget* statWindow) override;
  void ChildActivated(QWidget* child) override;
  void ChildClosed(QWidget* child) override;
  bool JobRunning() const override { return job_ != nullptr; }
  bool StartCurrentRefresh(CurrentChild& target) override;

  // --- JobSink (GUI thread) ---
  void JobLog(const QString& line) override;
  void JobStatus(const QString& text) override;
  void JobDetail(const QString& text) override;
  void JobProgressMax(int max) override;
  void JobProgressPos(int pos) override;
  void JobDisableControls() override;
  void JobEnableControls() override;
  void JobStatistics(const StatData& data, const QString& caption) override;
  void JobCurrent(const std::array<std::uint8_t, 1024>& block, DeviceType type, const QString& serial) override;
  void JobFileWritten(const QString& path) override;
  void JobFileFailed(const QString& path, const QString& error) override;
  void JobTraffic(const TrafficEntry& entry) override;

 Q_SIGNALS:
  // A reading job has ended and its last reports have been handled.
  void JobFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void MakeActions();
  void MakeMenus();
  void MakeToolBar();
  void MakeStatusBar();
  void ApplyTopMost(bool on);
  void ShowConnectionText();
  void SetReadCommandsEnabled(bool on);
  void UpdateChildCommands();
  void FillWindowMenu();
  void RestoreGeometry();
  void SaveGeometry();
  void AddRecent(const QString& path);
  void FillRecentMenu();
  QString LastFolder(const char* key) const;
  void RememberFolder(const char* key, const QString& file);

  // Jobs.
  enum class JobKind { Statistics, Current, Refresh };
  bool AddressAllowed();
  void StartJob(JobKind kind, CurrentChild* target);
  void WatchJob();
  void FinishJob();

  QMdiSubWindow* AddChild(QWidget* w);
  StatChild* ActiveStat() const;
  StatChild* StatWindowFor(DeviceType type);

  UiSeam& ui_;
  std::filesystem::path home_;
  IniFile ini_;
  ConnectionSettings settings_;
  ReadChoice choice_;
  MainActions actions_;
  QMdiArea* mdi_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QSpinBox* address_ = nullptr;
  std::array<QLabel*, 4> panels_{};
  QProgressBar* progress_ = nullptr;
  LogWindow* log_ = nullptr;
  QMdiSubWindow* logSub_ = nullptr;
  QPointer<QMdiSubWindow> trafficSub_;
  QPointer<QWidget> help_;
  int windowCounter_ = 0;
  bool topMost_ = false;

  // The reading job: one at a time, made fresh for each run.
  GuiObserver* observer_ = nullptr;
  std::unique_ptr<TReadThread> job_;
  JobKind jobKind_ = JobKind::Statistics;
  QPointer<QWidget> refreshTarget_;
  CurrentChild* refreshChild_ = nullptr;
  QTimer jobWatch_;
  bool jobEnding_ = false;
  bool closePending_ = false;
  std::atomic<bool> stopRequested_{false};  // "Остановить чтение"
  std::function<void(TReadThread&)> jobSetup_;

  // The header block of the instrument last read, for "Техническая информация".
  std::vector<std::uint8_t> lastHeader_;
  DeviceType lastType_ = DeviceType::dtUnknown;
};

}  // namespace statvtk::app
