// The screenshot run's answers to the program's dialogs, and its pictures:
// each dialog is shown, pictured over the main window, then accepted (read
// parameters: everything) or cancelled.
#pragma once

#include <QMessageBox>
#include <filesystem>
#include <string>

#include "app/main_window.hpp"
#include "app/scan_dialog.hpp"
#include "app/ui_seam.hpp"

namespace statvtk::shots {

namespace fs = std::filesystem;

// Runs the event loop for `ms` so that windows are laid out and painted.
void Settle(int ms = 400);
// Waits for the window's job to end; false when it still runs after `ms`.
bool WaitJob(app::MainWindow& w, int ms = 300000);  // a whole LDN-08 archive takes a while

class ShotUi : public app::UiSeam {
 public:
  explicit ShotUi(fs::path out) : out_(std::move(out)) {}
  QWidget* main = nullptr;
  std::string nextDialog;  // the picture's name for the next dialog; empty: none
  std::string nextBox;     // the picture's name for the next message box; empty: none

  // Saves the screen area of `w` (its frame included, so dialogs over it
  // show too) as NAME.png in the output folder.
  void Shot(QWidget* w, const std::string& name) const;

  void Inform(QWidget* p, const QString& t, const QString& x) override;
  void Warn(QWidget* p, const QString& t, const QString& x) override;
  bool Ask(QWidget*, const QString& t, const QString& x) override;
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString FolderName(QWidget*, const QString&, const QString&) override { return {}; }
  int RunDialog(QDialog& d) override;
  bool OpenExternally(const QUrl& url) override;

 private:
  void Box(QWidget* parent, QMessageBox::Icon icon, const QString& t, const QString& x);
  static void Search(app::ScanDialog& scan);
  static void Say(const char* kind, const QString& t, const QString& x);
  fs::path out_;
};

}  // namespace statvtk::shots
