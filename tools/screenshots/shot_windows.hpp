// Finding and placing the desktop program's child windows for the pictures,
// the homes the screenshot run reads from, and the scenes it pictures.
#pragma once

#include <QMdiArea>
#include <QMdiSubWindow>
#include <filesystem>
#include <map>
#include <string>

#include "app/main_window.hpp"
#include "app/stat_window.hpp"
#include "shot_ui.hpp"

namespace statvtk::shots {

// What the run is given: the folders and the simulated instruments.
struct ShotRun {
  fs::path out;
  fs::path homes;
  std::map<std::string, int> ports;  // model ("0812", "0814c", "ldn", "dead") -> loopback TCP port
  fs::path modemPort;                // the pseudo-terminal of the simulated modem; empty: none
};

QMdiSubWindow* SubOf(QWidget* w);
QMdiSubWindow* NewestSub(app::MainWindow& w);
template <typename T>
T* Newest(app::MainWindow& w) {
  T* found = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
    if (auto* c = dynamic_cast<T*>(s->widget())) found = c;
  return found;
}
// Every child window's frame inside the visible area: said on stderr when
// one is not, and counted as a failure.
int Outside(app::MainWindow& w, const std::string& when);
void Place(QMdiSubWindow* sub, int x, int y, int wd, int ht);
// A home whose StatVTK.ini points at the simulator on 127.0.0.1:port.
fs::path MakeHome(const fs::path& base, const std::string& model, int port);
// Reads the instrument of `w`'s home; its statistics window (null: said on stderr).
app::StatWindow* ReadAndShowStat(app::MainWindow& w, ShotUi& ui, const std::string& readShot);
// The hourly mode on the last full day.
void HourlyDay(app::StatWindow* stat);
// A main window at the top left of the screen, shown.
void ShowMain(app::MainWindow& w, ShotUi& ui, int settleMs);

// The scenes; each returns the number of failures it saw.
int SituationsShot(app::MainWindow& w, app::StatWindow* stat, ShotUi& ui);
int SmallScreen(const ShotRun& run);
int FailedRead(const ShotRun& run, ShotUi& ui);
int ModemDialling(const ShotRun& run, ShotUi& ui);
int Tour(const ShotRun& run);

}  // namespace statvtk::shots
