// The whole tour of the user guide's pictures: a VTK-08.12 through every
// window and dialog, a failed read, a modem dialling, and the other models'
// statistics windows.
#include <QCheckBox>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QScreen>
#include <QGuiApplication>
#include <QApplication>
#include <QMdiArea>
#include <QProgressBar>
#include <QTableWidget>
#include <iostream>

#include "app/app_services.hpp"
#include "app/child_area.hpp"
#include "app/main_window.hpp"
#include "app/result_bar.hpp"
#include "app/situations_window.hpp"
#include "app/stat_window.hpp"
#include "app/child_windows.hpp"
#include "app/traffic_window.hpp"
#include "app/help_window.hpp"
#include "app/log_window.hpp"
#include "app/read_commands.hpp"
#include "app/setting_commands.hpp"
#include "shot_windows.hpp"

namespace statvtk::shots {

using namespace statvtk::app;

namespace {

// The main window, "Проверить связь", the read and its statistics window in
// its modes, the values table on a day with hours without data.
int ReadViews(MainWindow& w, ShotUi& ui, StatWindow*& stat) {
  int failures = 0;
  ui.Shot(&w, "main-window");
  // "Проверить связь": who answers at the toolbar's address.
  ui.nextBox = "check-link";
  w.Reads().CheckLink();
  WaitJob(w, 30000);
  ui.nextBox.clear();

  w.ShowTraffic();
  failures += Outside(w, "traffic monitor opened");
  stat = ReadAndShowStat(w, ui, "read-params");
  if (!stat) return failures + 1;
  // Where the program put the windows itself, with the read's result line.
  failures += Outside(w, "read finished");
  if (!w.PanelText(0).startsWith(QStringLiteral("Статистика записана: "))) {
    std::cerr << "statvtk-shots: no result on panel 0 after the read: " << w.PanelText(0).toStdString() << "\n";
    ++failures;
  }
  ui.Shot(&w, "read-finished");
  Place(SubOf(stat), 0, 0, 980, 730);
  ui.Shot(&w, "statistics-daily");
  HourlyDay(stat);
  ui.Shot(&w, "statistics-hourly");
  // The values table under the chart: the day of a three-hour power cut
  // (eight days before the instrument's clock), its hours without data in view.
  for (int i = 0; i < stat->List()->count(); ++i)
    if (stat->List()->item(i)->text() == QStringLiteral("06.06.24")) stat->List()->item(i)->setSelected(true);
  Place(SubOf(stat), 0, 0, 1000, 730);
  QTableWidget* values = stat->ValuesGrid();
  for (int r = 0; r < values->rowCount(); ++r)
    if (QTableWidgetItem* state = values->item(r, values->columnCount() - 1); state && state->text() == "нет данных") {
      values->scrollToItem(state, QAbstractItemView::PositionAtCenter);
      break;
    }
  ui.Shot(&w, "values-table");
  Place(SubOf(stat), 0, 0, 980, 730);
  return failures;
}

// The report, the messages, the events, the situations and the current values.
int ReportAndCurrent(MainWindow& w, ShotUi& ui, StatWindow* stat) {
  int failures = 0;
  stat->MakeReport();
  if (!stat->LastReport()) ++failures;
  if (!w.PanelText(0).startsWith(QStringLiteral("Отчет записан: "))) {
    std::cerr << "statvtk-shots: the report's path is not on panel 0: " << w.PanelText(0).toStdString() << "\n";
    ++failures;
  }
  ui.Shot(&w, "report-finished");
  if (w.Messages() && SubOf(w.Messages())) {
    Place(SubOf(w.Messages()), 300, 420, 620, 260);
    ui.Shot(&w, "messages");
  }

  stat->EventsButton()->click();
  failures += Outside(w, "events opened");
  ui.Shot(&w, "events");
  failures += SituationsShot(w, stat, ui);

  w.Reads().ReadCurrent();
  WaitJob(w);
  failures += Outside(w, "current readings opened");
  if (QWidget* traffic = w.Traffic()) Place(SubOf(traffic), 200, 200, 900, 360);
  ui.Shot(&w, "traffic");
  QMdiSubWindow* cur = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
    if (!cur && dynamic_cast<CurrentChild*>(s->widget())) cur = s;
  if (cur) {
    Place(cur, 160, 60, cur->width(), cur->height());  // its own size: every value and the caption
    ui.Shot(&w, "current");
  } else {
    ++failures;
  }
  return failures;
}

// The dialogs over an empty frame (the log window only minimises), and the
// help window over the user guide (a window of its own).
void Dialogs(MainWindow& w, ShotUi& ui) {
  w.Mdi()->closeAllSubWindows();
  ui.nextDialog = "connection";
  w.Setup().ConnectionSettingsCommand();
  ui.nextDialog = "scan";
  w.Setup().ScanCommand();
  ui.nextDialog = "report-params";
  w.Setup().ReportParamsCommand();
  ui.nextDialog = "about";
  w.Setup().ShowAbout();

  w.Setup().ShowHelp();
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* help = qobject_cast<HelpWindow*>(top); help && help->isVisible()) {
      help->move(120, 60);
      help->resize(820, 700);
      ui.Shot(help, "help");
      help->close();
    }
  w.Mdi()->closeAllSubWindows();
  Settle();
}

// A read stopped part way: its window opens on a kind with records and says
// what it holds; then the technical information.
int StoppedRead(MainWindow& w, ShotUi& ui) {
  w.Mdi()->closeAllSubWindows();
  ui.nextDialog.clear();
  w.Reads().ReadStatistics();
  for (int i = 0; i < 600 && w.JobRunning() && w.Progress()->value() < 30; ++i) Settle(50);
  w.Reads().StopReading();
  WaitJob(w, 30000);
  const int failures = Outside(w, "stopped read");
  ui.Shot(&w, "read-stopped");
  w.ShowTechInfo();
  if (QMdiSubWindow* sub = NewestSub(w)) {
    sub->adjustSize();
    Place(sub, 700, 80, sub->width(), sub->height());
  }
  ui.Shot(&w, "techinfo");
  return failures;
}

// The other models: their statistics windows.
int OtherModels(const ShotRun& run, ShotUi& ui) {
  int failures = 0;
  for (const std::string model : {"0814c", "ldn"}) {
    auto it = run.ports.find(model);
    if (it == run.ports.end()) continue;
    MainWindow w(ui, MakeHome(run.homes, model, it->second));
    ShowMain(w, ui, 600);
    StatWindow* stat = ReadAndShowStat(w, ui, "");
    if (!stat) {
      ++failures;
      continue;
    }
    if (w.Messages() && SubOf(w.Messages())) SubOf(w.Messages())->showMinimized();
    Place(SubOf(stat), 0, 0, 980, 730);
    HourlyDay(stat);
    ui.Shot(&w, "statistics-" + model);
    if (model == "0814c") failures += StoppedRead(w, ui);
    w.Mdi()->closeAllSubWindows();
    Settle();
  }
  return failures;
}

}  // namespace

int Tour(const ShotRun& run) {
  const auto it = run.ports.find("0812");
  if (it == run.ports.end()) return 1;
  ShotUi ui(run.out);
  int failures = 0;
  {
    // VTK-08.12: every window and dialog.
    MainWindow w(ui, MakeHome(run.homes, "0812", it->second));
    ShowMain(w, ui, 800);
    StatWindow* stat = nullptr;
    failures += ReadViews(w, ui, stat);
    if (!stat) return 1;
    failures += ReportAndCurrent(w, ui, stat);
    Dialogs(w, ui);
  }
  failures += FailedRead(run, ui);
  failures += ModemDialling(run, ui);
  failures += OtherModels(run, ui);
  return failures ? 1 : 0;
}

}  // namespace statvtk::shots
