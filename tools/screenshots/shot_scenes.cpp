#include <QCheckBox>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>
#include <QTableWidget>
#include <fstream>
#include <iostream>

#include "app/app_services.hpp"
#include "app/child_area.hpp"
#include "app/child_windows.hpp"
#include "app/help_window.hpp"
#include "app/main_window.hpp"
#include "app/stat_window.hpp"
#include "app/traffic_window.hpp"
#include "app/log_window.hpp"
#include "app/read_commands.hpp"
#include "app/result_bar.hpp"
#include "app/setting_commands.hpp"
#include "app/situations_window.hpp"
#include "shot_windows.hpp"

namespace statvtk::shots {

using namespace statvtk::app;

// "Нештатные ситуации" beside the statistics window: a one-day power cut
// chosen (the first situation when there is none), its hours selected there.
int SituationsShot(MainWindow& w, StatWindow* stat, ShotUi& ui) {
  Place(SubOf(stat), 0, 0, 600, 730);
  w.ShowSituations();
  auto* s = Newest<SituationsWindow>(w);
  if (!s) {
    std::cerr << "statvtk-shots: \"Нештатные ситуации\" did not open\n";
    return 1;
  }
  Place(SubOf(s), 600, 0, 590, 730);
  int row = 0;
  for (int r = s->List()->rowCount() - 1; r >= 0; --r)
    if (s->List()->item(r, 0)->text() == QStringLiteral("Отключение питания") &&
        s->List()->item(r, 1)->text().left(8) == s->List()->item(r, 2)->text().left(8))
      row = r;
  if (s->List()->rowCount() > 0) s->List()->selectRow(row);
  Settle();
  ui.Shot(&w, "situations");
  const int outside = Outside(w, "situations opened");
  SubOf(s)->close();
  Place(SubOf(stat), 0, 0, 980, 730);
  return outside;
}

// The program as it starts on a laptop's small screen (the X server's own
// size, 1024×600 in scripts/screenshots): a fresh home, a VTK-08.14 C read,
// its statistics window in the area that is left.
int SmallScreen(const ShotRun& run) {
  const auto it = run.ports.find("0814c");
  if (it == run.ports.end()) return 1;
  ShotUi ui(run.out);
  MainWindow w(ui, MakeHome(run.homes, "0814c-small", it->second));
  ui.main = &w;
  w.show();
  Settle(800);
  StatWindow* stat = ReadAndShowStat(w, ui, "");
  if (!stat) return 1;
  int failures = Outside(w, "small screen");
  if (QScreen* screen = QGuiApplication::primaryScreen();
      screen && !screen->availableGeometry().contains(w.frameGeometry())) {
    std::cerr << "statvtk-shots: the main window lies outside the small screen\n";
    ++failures;
  }
  HourlyDay(stat);
  ui.Shot(&w, "small-screen");
  ui.nextDialog = "connection-small";
  w.Setup().ConnectionSettingsCommand();
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures ? 1 : 0;
}

// A read whose instrument falls silent in the middle of its archive: the
// result bar says so in red, with the file of what came before.
int FailedRead(const ShotRun& run, ShotUi& ui) {
  const auto it = run.ports.find("dead");
  if (it == run.ports.end()) return 0;
  MainWindow w(ui, MakeHome(run.homes, "dead", it->second));
  ShowMain(w, ui, 600);
  w.Reads().ReadStatistics();
  if (!WaitJob(w)) return 1;
  int failures = 0;
  if (!w.Result()->Failed()) {
    std::cerr << "statvtk-shots: the failed read is not said in the result bar\n";
    ++failures;
  }
  ui.Shot(&w, "read-failed");
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures;
}

// A modem that answers BUSY, then NO ANSWER: the status bar while it dials.
int ModemDialling(const ShotRun& run, ShotUi& ui) {
  if (run.modemPort.empty()) return 0;
  const fs::path home = run.homes / "modem";
  fs::create_directories(home);
  std::ofstream(home / "StatVTK.ini") << "[Settings]\nConnectMode=1\nPortName=" << run.modemPort.string()
                                      << "\nNetAddress=1\nReconnects=3\n[Modem]\nPhoneNo=84951234567\nConnectWait=10\n";
  MainWindow w(ui, home);
  ShowMain(w, ui, 600);
  ui.nextDialog.clear();
  w.Reads().ReadStatistics();
  // The second attempt's answer, while the program waits to dial again.
  for (int i = 0; i < 600 && w.JobRunning() && !w.PanelText(0).contains(QStringLiteral("попытка 2 из 3: ")); ++i)
    Settle(50);
  int failures = 0;
  if (!w.PanelText(0).contains(QStringLiteral("Набор 84951234567, попытка 2 из 3: "))) {
    std::cerr << "statvtk-shots: no dialling on panel 0: " << w.PanelText(0).toStdString() << "\n";
    ++failures;
  }
  if (w.Messages() && SubOf(w.Messages())) Place(SubOf(w.Messages()), 0, 0, 700, 420);
  ui.Shot(&w, "modem-dialling");
  w.Reads().StopReading();
  WaitJob(w, 30000);
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures;
}

}  // namespace statvtk::shots
