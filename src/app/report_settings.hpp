// The report settings (StatVTK.ini, section Report): the folder reports are
// written to and whether a finished report is opened at once; and the
// "Параметры отчета" dialog that edits them.
#pragma once

#include <QDialog>
#include <filesystem>

#include "app/app_services.hpp"
#include "app/settings_failure.hpp"

class QCheckBox;
class QLineEdit;

namespace statvtk::app {

class UiSeam;

// Folder (default: the home's Reports/) and OpenWhenDone (default 1).
ReportSettings LoadReportSettings(const IniFile& ini, const std::filesystem::path& home);
Result<void> StoreReportSettings(IniFile& ini, const ReportSettings& s);

// Why reports cannot go to `folder` (it does not exist, or nothing can be
// written there); empty when they can.
QString FolderProblem(const std::filesystem::path& folder);

class ReportSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  ReportSettingsDialog(IniFile& ini, std::filesystem::path home, UiSeam& ui, QWidget* parent = nullptr);
  QLineEdit* Folder() const { return folder_; }
  QCheckBox* OpenWhenDone() const { return open_; }
  void accept() override;
  // Where a failed write goes besides the dialog's own refusal (the main window's one way).
  void SetSettingsFailure(SettingsFailure failed) { failed_ = std::move(failed); }

 private:
  IniFile& ini_;
  std::filesystem::path home_;
  UiSeam& ui_;
  SettingsFailure failed_;
  QLineEdit* folder_ = nullptr;
  QCheckBox* open_ = nullptr;
};

}  // namespace statvtk::app
