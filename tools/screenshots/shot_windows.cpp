#include <QCheckBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QScreen>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <fstream>
#include <iostream>

#include "app/app_services.hpp"
#include "app/child_area.hpp"
#include "app/child_windows.hpp"
#include "app/help_window.hpp"
#include "app/main_window.hpp"
#include "app/result_bar.hpp"
#include "app/setting_commands.hpp"
#include "app/situations_window.hpp"
#include "app/stat_window.hpp"
#include "app/traffic_window.hpp"
#include "app/log_window.hpp"
#include "app/read_commands.hpp"
#include "shot_windows.hpp"

namespace statvtk::shots {

using namespace statvtk::app;

QMdiSubWindow* SubOf(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }

QMdiSubWindow* NewestSub(MainWindow& w) {
  const auto list = w.Mdi()->subWindowList(QMdiArea::CreationOrder);
  return list.isEmpty() ? nullptr : list.back();
}

int Outside(MainWindow& w, const std::string& when) {
  int outside = 0;
  const QRect area = w.Mdi()->viewport()->rect();
  for (QMdiSubWindow* s : w.Mdi()->subWindowList()) {
    if (!s->isVisible() || s->isMinimized() || area.contains(s->geometry())) continue;
    ++outside;
    std::cerr << "statvtk-shots: " << when << ": \"" << s->windowTitle().toStdString() << "\" lies outside the area\n";
  }
  return outside;
}

void Place(QMdiSubWindow* sub, int x, int y, int wd, int ht) {
  if (!sub) return;
  sub->showNormal();
  sub->setGeometry(x, y, wd, ht);
  sub->raise();
  sub->mdiArea()->setActiveSubWindow(sub);
}

fs::path MakeHome(const fs::path& base, const std::string& model, int port) {
  const fs::path home = base / model;
  fs::create_directories(home);
  // LDN-08 answers M-Bus long addresses only (the simulator's is 12345678).
  const bool mbus = model == "ldn";
  std::ofstream(home / "StatVTK.ini") << "[Settings]\nConnectMode=2\nSockIP=127.0.0.1\nSockPort=" << port
                                      << "\nUseMBus=" << (mbus ? 1 : 0) << "\nNetAddress=" << (mbus ? 12345678 : 1)
                                      << "\n[Report]\nOpenWhenDone=0\n";
  return home;
}

StatWindow* ReadAndShowStat(MainWindow& w, ShotUi& ui, const std::string& readShot) {
  ui.nextDialog = readShot;
  w.Reads().ReadStatistics();
  if (!WaitJob(w)) {
    std::cerr << "statvtk-shots: the read did not finish\n";
    w.Reads().StopReading();
    WaitJob(w, 10000);
    return nullptr;
  }
  StatWindow* stat = Newest<StatWindow>(w);
  if (!stat) {
    std::cerr << "statvtk-shots: no statistics window after the read; the log:\n";
    if (w.Messages())
      for (const auto& line : w.Messages()->Log().Lines()) std::cerr << "  " << line << "\n";
  }
  return stat;
}

void HourlyDay(StatWindow* stat) {
  stat->ModeButton(StatMode::Hourly)->click();
  const int n = stat->List()->count();
  if (n >= 2) {
    stat->List()->item(n - 2)->setSelected(true);  // the last full day
    stat->List()->scrollToItem(stat->List()->item(n - 2));
  }
}

void ShowMain(MainWindow& w, ShotUi& ui, int settleMs) {
  ui.main = &w;
  w.move(0, 0);
  w.resize(1200, 820);
  w.show();
  Settle(settleMs);
}

}  // namespace statvtk::shots
