// statvtk-shots: opens the desktop program's main window over prepared homes
// whose StatVTK.ini point at simulated instruments on loopback TCP, reads
// them, opens every kind of child window and dialog, and saves a picture of
// each into the output folder. Run it under an X server (scripts/screenshots).
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QEventLoop>
#include <QListWidget>
#include <QMessageBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "app/child_windows.hpp"
#include "app/help_window.hpp"
#include "app/log_window.hpp"
#include "app/app_services.hpp"
#include "app/child_area.hpp"
#include "app/file_commands.hpp"
#include "app/main_window.hpp"
#include "app/read_commands.hpp"
#include "app/setting_commands.hpp"
#include "app/read_params_dialog.hpp"
#include "app/result_bar.hpp"
#include "app/scan_dialog.hpp"
#include "app/situations_window.hpp"
#include "app/stat_window.hpp"
#include "app/traffic_window.hpp"
#include <QProgressBar>
#include "app/ui_seam.hpp"

namespace fs = std::filesystem;
using namespace statvtk;
using namespace statvtk::app;

namespace {

fs::path g_out;

void Settle(int ms = 400) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The screen area of `w` (its frame included), so dialogs over it show too.
void Shot(QWidget* w, const std::string& name) {
  Settle();
  QPixmap pix;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = w->frameGeometry();
    pix = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  }
  if (pix.isNull() || pix.toImage().allGray()) pix = w->grab();
  const fs::path file = g_out / (name + ".png");
  if (!pix.save(QString::fromStdString(file.string()))) std::cerr << "statvtk-shots: cannot write " << file << "\n";
  else std::cout << file.string() << "\n";
}

// Answers the program's dialogs: each is shown, pictured over the main
// window, then accepted (read parameters: everything) or cancelled.
class ShotUi : public UiSeam {
 public:
  QWidget* main = nullptr;
  std::string nextDialog;  // the picture's name for the next dialog; empty: none
  std::string nextBox;     // the picture's name for the next message box; empty: none

  void Inform(QWidget* p, const QString& t, const QString& x) override {
    Say("inform", t, x);
    Box(p, QMessageBox::Information, t, x);
  }
  void Warn(QWidget* p, const QString& t, const QString& x) override {
    Say("warn", t, x);
    Box(p, QMessageBox::Warning, t, x);
  }
  bool Ask(QWidget*, const QString& t, const QString& x) override {
    Say("ask", t, x);
    return false;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString FolderName(QWidget*, const QString&, const QString&) override { return {}; }
  int RunDialog(QDialog& d) override {
    d.show();
    d.raise();
    if (auto* scan = qobject_cast<ScanDialog*>(&d)) Search(*scan);
    auto* p = qobject_cast<ReadParamsDialog*>(&d);
    if (p) {
      p->RadioAll()->click();
      for (QCheckBox* c : {p->CheckHourly(), p->CheckDaily(), p->CheckMonthly(), p->CheckEvents()})
        if (!c->isChecked()) c->click();
    }
    if (!nextDialog.empty() && main) Shot(main, nextDialog);
    nextDialog.clear();
    if (p) {
      p->accept();
      return QDialog::Accepted;
    }
    d.reject();
    return QDialog::Rejected;
  }
  bool OpenExternally(const QUrl& url) override {
    std::cout << "report: " << url.toLocalFile().toStdString() << "\n";
    return true;
  }

 private:
  // A message box pictured over the main window, then closed.
  void Box(QWidget* parent, QMessageBox::Icon icon, const QString& t, const QString& x) {
    if (nextBox.empty() || !main) return;
    QMessageBox box(icon, t, x, QMessageBox::Ok, parent);
    box.show();
    Shot(main, nextBox);
    nextBox.clear();
  }
  // The scan window with a finished search over the first addresses, the
  // first instrument found chosen.
  static void Search(ScanDialog& scan) {
    scan.FirstAddress()->setValue(1);
    scan.LastAddress()->setValue(4);
    QEventLoop loop;
    QObject::connect(&scan, &ScanDialog::SearchFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    scan.StartSearch();
    loop.exec();
    if (scan.Table()->rowCount() > 0) scan.Table()->selectRow(0);
  }
  static void Say(const char* kind, const QString& t, const QString& x) {
    std::cerr << kind << ": " << t.toStdString() << ": " << x.toStdString() << "\n";
  }
};

bool WaitJob(MainWindow& w, int ms = 300000) {  // a whole LDN-08 archive takes a while
  if (!w.JobRunning()) return true;
  QEventLoop loop;
  QObject::connect(&w, &MainWindow::JobFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return !w.JobRunning();
}

QMdiSubWindow* SubOf(QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }

StatWindow* NewestStat(MainWindow& w) {
  StatWindow* found = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
    if (auto* c = dynamic_cast<StatWindow*>(s->widget())) found = c;
  return found;
}

template <typename T>
T* Newest(MainWindow& w) {
  T* found = nullptr;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
    if (auto* c = dynamic_cast<T*>(s->widget())) found = c;
  return found;
}

QMdiSubWindow* NewestSub(MainWindow& w) {
  const auto list = w.Mdi()->subWindowList(QMdiArea::CreationOrder);
  return list.isEmpty() ? nullptr : list.back();
}

// Every child window's frame inside the visible area: said on stderr when
// one is not, and counted as a failure.
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

// A home whose StatVTK.ini points at the simulator on 127.0.0.1:port.
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

// Reads the instrument of `home` and pictures its statistics window.
StatWindow* ReadAndShowStat(MainWindow& w, ShotUi& ui, const std::string& readShot) {
  ui.nextDialog = readShot;
  w.Reads().ReadStatistics();
  if (!WaitJob(w)) {
    std::cerr << "statvtk-shots: the read did not finish\n";
    w.Reads().StopReading();
    WaitJob(w, 10000);
    return nullptr;
  }
  StatWindow* stat = NewestStat(w);
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

// "Нештатные ситуации" beside the statistics window: a one-day power cut
// chosen (the first situation when there is none), its hours selected there.
int SituationsShot(MainWindow& w, StatWindow* stat) {
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
  Shot(&w, "situations");
  const int outside = Outside(w, "situations opened");
  SubOf(s)->close();
  Place(SubOf(stat), 0, 0, 980, 730);
  return outside;
}

// The program as it starts on a laptop's small screen (the X server's own
// size, 1024×600 in scripts/screenshots): a fresh home, a VTK-08.14 C read,
// its statistics window in the area that is left.
int SmallScreen(const std::map<std::string, int>& ports, const fs::path& homes) {
  const auto it = ports.find("0814c");
  if (it == ports.end()) return 1;
  ShotUi ui;
  MainWindow w(ui, MakeHome(homes, "0814c-small", it->second));
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
  Shot(&w, "small-screen");
  ui.nextDialog = "connection-small";
  w.Setup().ConnectionSettingsCommand();
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures ? 1 : 0;
}

fs::path g_modemPort;  // the pseudo-terminal of the simulated modem (--modem PATH)

// A read whose instrument falls silent in the middle of its archive: the
// result bar says so in red, with the file of what came before.
int FailedRead(const std::map<std::string, int>& ports, const fs::path& homes, ShotUi& ui) {
  const auto it = ports.find("dead");
  if (it == ports.end()) return 0;
  MainWindow w(ui, MakeHome(homes, "dead", it->second));
  ui.main = &w;
  w.move(0, 0);
  w.resize(1200, 820);
  w.show();
  Settle(600);
  w.Reads().ReadStatistics();
  if (!WaitJob(w)) return 1;
  int failures = 0;
  if (!w.Result()->Failed()) {
    std::cerr << "statvtk-shots: the failed read is not said in the result bar\n";
    ++failures;
  }
  Shot(&w, "read-failed");
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures;
}

// A modem that answers BUSY, then NO ANSWER: the status bar while it dials.
int ModemDialling(const fs::path& homes, ShotUi& ui) {
  if (g_modemPort.empty()) return 0;
  const fs::path home = homes / "modem";
  fs::create_directories(home);
  std::ofstream(home / "StatVTK.ini") << "[Settings]\nConnectMode=1\nPortName=" << g_modemPort.string()
                                      << "\nNetAddress=1\nReconnects=3\n[Modem]\nPhoneNo=84951234567\nConnectWait=10\n";
  MainWindow w(ui, home);
  ui.main = &w;
  w.move(0, 0);
  w.resize(1200, 820);
  w.show();
  Settle(600);
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
  Shot(&w, "modem-dialling");
  w.Reads().StopReading();
  WaitJob(w, 30000);
  w.Mdi()->closeAllSubWindows();
  Settle();
  return failures;
}

int Tour(const std::map<std::string, int>& ports, const fs::path& homes) {
  int failures = 0;
  ShotUi ui;
  {
    // VTK-08.12: every window and dialog.
    auto it = ports.find("0812");
    if (it == ports.end()) return 1;
    MainWindow w(ui, MakeHome(homes, "0812", it->second));
    ui.main = &w;
    w.move(0, 0);
    w.resize(1200, 820);
    w.show();
    Settle(800);
    Shot(&w, "main-window");

    // "Проверить связь": who answers at the toolbar's address.
    ui.nextBox = "check-link";
    w.Reads().CheckLink();
    WaitJob(w, 30000);
    ui.nextBox.clear();

    w.ShowTraffic();
    failures += Outside(w, "traffic monitor opened");
    StatWindow* stat = ReadAndShowStat(w, ui, "read-params");
    if (!stat) return 1;
    // Where the program put the windows itself, with the read's result line.
    failures += Outside(w, "read finished");
    if (!w.PanelText(0).startsWith(QStringLiteral("Статистика записана: "))) {
      std::cerr << "statvtk-shots: no result on panel 0 after the read: " << w.PanelText(0).toStdString() << "\n";
      ++failures;
    }
    Shot(&w, "read-finished");
    Place(SubOf(stat), 0, 0, 980, 730);
    Shot(&w, "statistics-daily");
    HourlyDay(stat);
    Shot(&w, "statistics-hourly");
    // The values table under the chart: the day of a three-hour power cut
    // (eight days before the instrument's clock), its hours without data in view.
    for (int i = 0; i < stat->List()->count(); ++i)
      if (stat->List()->item(i)->text() == QStringLiteral("06.06.24")) stat->List()->item(i)->setSelected(true);
    Place(SubOf(stat), 0, 0, 1000, 730);
    QTableWidget* values = stat->ValuesGrid();
    for (int r = 0; r < values->rowCount(); ++r)
      if (QTableWidgetItem* state = values->item(r, values->columnCount() - 1);
          state && state->text() == "нет данных") {
        values->scrollToItem(state, QAbstractItemView::PositionAtCenter);
        break;
      }
    Shot(&w, "values-table");
    Place(SubOf(stat), 0, 0, 980, 730);

    stat->MakeReport();
    if (!stat->LastReport()) ++failures;
    if (!w.PanelText(0).startsWith(QStringLiteral("Отчет записан: "))) {
      std::cerr << "statvtk-shots: the report's path is not on panel 0: " << w.PanelText(0).toStdString() << "\n";
      ++failures;
    }
    Shot(&w, "report-finished");
    if (w.Messages() && SubOf(w.Messages())) {
      Place(SubOf(w.Messages()), 300, 420, 620, 260);
      Shot(&w, "messages");
    }

    stat->EventsButton()->click();
    failures += Outside(w, "events opened");
    Shot(&w, "events");
    failures += SituationsShot(w, stat);

    w.Reads().ReadCurrent();
    WaitJob(w);
    failures += Outside(w, "current readings opened");
    if (QWidget* traffic = w.Traffic()) Place(SubOf(traffic), 200, 200, 900, 360);
    Shot(&w, "traffic");
    if (QMdiSubWindow* cur = [&]() -> QMdiSubWindow* {
          for (QMdiSubWindow* s : w.Mdi()->subWindowList(QMdiArea::CreationOrder))
            if (dynamic_cast<CurrentChild*>(s->widget())) return s;
          return nullptr;
        }()) {
      Place(cur, 160, 60, cur->width(), cur->height());  // its own size: every value and the caption
      Shot(&w, "current");
    } else {
      ++failures;
    }

    // The dialogs over an empty frame (the log window only minimises).
    w.Mdi()->closeAllSubWindows();
    ui.nextDialog = "connection";
    w.Setup().ConnectionSettingsCommand();
    ui.nextDialog = "scan";
    w.Setup().ScanCommand();
    ui.nextDialog = "report-params";
    w.Setup().ReportParamsCommand();
    ui.nextDialog = "about";
    w.Setup().ShowAbout();

    // The help window over the user guide (a window of its own).
    w.Setup().ShowHelp();
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* help = qobject_cast<HelpWindow*>(top); help && help->isVisible()) {
        help->move(120, 60);
        help->resize(820, 700);
        Shot(help, "help");
        help->close();
      }
    w.Mdi()->closeAllSubWindows();
    Settle();
  }
  failures += FailedRead(ports, homes, ui);
  failures += ModemDialling(homes, ui);
  // The other models: their statistics windows.
  for (const char* model : {"0814c", "ldn"}) {
    auto it = ports.find(model);
    if (it == ports.end()) continue;
    MainWindow w(ui, MakeHome(homes, model, it->second));
    ui.main = &w;
    w.move(0, 0);
    w.resize(1200, 820);
    w.show();
    Settle(600);
    StatWindow* stat = ReadAndShowStat(w, ui, "");
    if (!stat) {
      ++failures;
      continue;
    }
    if (w.Messages() && SubOf(w.Messages())) SubOf(w.Messages())->showMinimized();
    Place(SubOf(stat), 0, 0, 980, 730);
    HourlyDay(stat);
    Shot(&w, std::string("statistics-") + model);
    if (std::string(model) == "0814c") {
      // A read stopped part way: its window opens on a kind with records and says what it holds.
      w.Mdi()->closeAllSubWindows();
      ui.nextDialog.clear();
      w.Reads().ReadStatistics();
      for (int i = 0; i < 600 && w.JobRunning() && w.Progress()->value() < 30; ++i) Settle(50);
      w.Reads().StopReading();
      WaitJob(w, 30000);
      failures += Outside(w, "stopped read");
      Shot(&w, "read-stopped");
      w.ShowTechInfo();
      if (QMdiSubWindow* sub = NewestSub(w)) {
        sub->adjustSize();
        Place(sub, 700, 80, sub->width(), sub->height());
      }
      Shot(&w, "techinfo");
    }
    w.Mdi()->closeAllSubWindows();
    Settle();
  }
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("StatVTK"));
  std::map<std::string, int> ports;
  fs::path homes;
  bool small = false;
  if (argc > 1 && std::string(argv[1]) == "--small") {
    small = true;
    --argc;
    ++argv;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--out") {
      g_out = v;
    } else if (a == "--homes") {
      homes = v;
    } else if (a == "--modem") {  // the simulated modem's pseudo-terminal
      g_modemPort = v;
    } else if (a == "--tcp") {  // MODEL=PORT
      const auto eq = v.find('=');
      if (eq == std::string::npos) return 2;
      ports[v.substr(0, eq)] = std::stoi(v.substr(eq + 1));
    } else {
      std::cerr << "usage: statvtk-shots --out DIR --homes DIR --tcp 0812=PORT [--tcp 0814c=PORT] [--tcp ldn=PORT] "
                   "[--tcp dead=PORT] [--modem PTY]\n";
      return 2;
    }
  }
  if (g_out.empty() || homes.empty() || ports.empty()) {
    std::cerr << "usage: statvtk-shots --out DIR --homes DIR --tcp 0812=PORT [--tcp 0814c=PORT] [--tcp ldn=PORT] "
                 "[--tcp dead=PORT] [--modem PTY]\n";
    return 2;
  }
  fs::create_directories(g_out);
  return small ? SmallScreen(ports, homes) : Tour(ports, homes);
}
