// TMainForm: the multi-document frame of the desktop program: menus,
// toolbar, status bar and the child windows. The frame only wires its parts:
// the reading commands (ReadCommands, over its JobController), the file and
// settings commands, the child windows' placement (ChildArea) and the
// services the children use; which command is enabled is decided in
// UpdateCommands alone, whenever anything it depends on changes.
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/frame_parts.hpp"
#include "app/job_controller.hpp"
#include "app/main_menus.hpp"
#include "base/ini_file.hpp"
#include "link/settings.hpp"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QSpinBox;

namespace statvtk::app {

class ChildArea;
class FileCommands;
class FrameServices;
class LogWindow;
class ReadCommands;
class RecentFiles;
class ResultBar;
class SettingCommands;
class StatusPanels;
class TrafficWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent = nullptr);
  ~MainWindow() override;

  // After the first show: opens the file named by the first argument, if any.
  void OpenFromCommandLine(const QStringList& arguments);

  // Lets tests (and the simulator demo) adjust each job before it starts.
  void SetJobSetup(std::function<void(TReadThread&)> setup) { jobs_->SetJobSetup(std::move(setup)); }

  // --- the command groups ---
  ReadCommands& Reads() { return *reads_; }
  FileCommands& Files() { return *files_; }
  SettingCommands& Setup() { return *setup_; }
  ChildArea& Children() { return *children_; }
  AppServices& Services();
  JobController& Jobs() { return *jobs_; }
  // "Монитор обмена": opened (or brought forward) with the frame trace on.
  void ShowTraffic();
  // "Техническая информация": the active file's instrument, else the one last read.
  void ShowTechInfo();
  // "Нештатные ситуации": of the active statistics window's file.
  void ShowSituations();
  // "Экспорт в Microsoft Excel": the active statistics window's report.
  void ExportReport();
  // "Сообщения": restored and brought forward.
  void ShowMessages();

  // The one place every command's enabled state is decided.
  void UpdateCommands();

  // --- state, for the status bar and the tests ---
  const MainActions& Actions() const { return actions_; }
  QMdiArea* Mdi() const { return mdi_; }
  LogWindow* Messages() const { return parts_.log; }
  QMdiSubWindow* MessagesFrame() const { return parts_.logSub; }
  QSpinBox* AddressField() const { return parts_.address; }
  QProgressBar* Progress() const;
  QString PanelText(int panel) const;
  ResultBar* Result() const { return parts_.result; }
  QLabel* EmptyStateText() const { return emptyState_; }
  const ConnectionSettings& Connection() const { return settings_; }
  QMenu* RecentMenu() const { return menus_.recent; }
  QStringList RecentFiles() const;
  TrafficWindow* Traffic() const;
  bool JobRunning() const { return jobs_->Running(); }

 Q_SIGNALS:
  // A reading job has ended and its last reports have been handled.
  void JobFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void MakeParts();
  void ConnectActions();
  void RestoreGeometry();
  void SaveGeometry();
  // The available area of the window's screen (without panels and docks).
  QRect ScreenArea() const;

  UiSeam& ui_;
  std::filesystem::path home_;
  IniFile ini_;
  ConnectionSettings settings_;
  MainActions actions_;
  MainMenus menus_;
  FrameParts parts_;
  QMdiArea* mdi_ = nullptr;
  QLabel* emptyState_ = nullptr;
  QPointer<QMdiSubWindow> trafficSub_;
  QString addressProblem_;  // on panel 0 while the toolbar holds an address the line refuses
  std::unique_ptr<StatusPanels> status_;
  std::unique_ptr<app::RecentFiles> recent_;
  std::unique_ptr<ChildArea> children_;
  std::unique_ptr<ReadCommands> reads_;
  std::unique_ptr<FrameServices> services_;
  std::unique_ptr<FileCommands> files_;
  std::unique_ptr<SettingCommands> setup_;
  bool fitted_ = false;                  // placed on the screen with its real frame
  std::unique_ptr<JobController> jobs_;  // last: its run ends before the rest goes
};

}  // namespace statvtk::app
