// The parts of the main window that its command groups (reading, files,
// settings) and its services work with. The main window makes them all and
// outlives every user of this.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/main_menus.hpp"
#include "link/settings.hpp"
#include "stats/device_type.hpp"

class QWidget;
class QMdiSubWindow;
class QSpinBox;

#include "app/settings_failure.hpp"

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

class AppServices;
class ChildArea;
class JobController;
class LogWindow;
class RecentFiles;
class ResultBar;
class StatusPanels;
class UiSeam;

struct FrameParts {
  QWidget* window = nullptr;  // the main window: parent of the dialogs; its title heads the message boxes
  UiSeam* ui = nullptr;
  std::filesystem::path home;
  IniFile* ini = nullptr;
  ConnectionSettings* settings = nullptr;
  const MainActions* actions = nullptr;
  QSpinBox* address = nullptr;  // the toolbar's network address
  StatusPanels* status = nullptr;
  ResultBar* result = nullptr;
  LogWindow* log = nullptr;
  QMdiSubWindow* logSub = nullptr;
  ChildArea* children = nullptr;
  RecentFiles* recent = nullptr;
  JobController* jobs = nullptr;
  AppServices* services = nullptr;
  std::function<void()> updateCommands;  // the one command-state decision

  // The header block of the instrument last read, for "Техническая информация".
  std::vector<std::uint8_t> lastHeader;
  DeviceType lastType = DeviceType::dtUnknown;

  QString Title() const;
  // The one way a failed write of StatVTK.ini is told: "Не удалось записать
  // настройки: " + the reason in the log and status panel 0. True when written.
  bool SettingsWritten(const Result<void>& written) const;
};

}  // namespace statvtk::app
