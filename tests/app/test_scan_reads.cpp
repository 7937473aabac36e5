// The frame's side of the search for instruments: "Поиск приборов..." opens
// the scan window on the current connection, its chosen instrument becomes
// the connection settings, the chosen instruments are read as one batch;
// settings the line refuses start no search, and the search's frames can be
// watched from its window.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>

#include <set>

#include "app/log_window.hpp"
#include "app/scan_dialog.hpp"
#include "app/traffic_window.hpp"
#include "app_test_util.hpp"
#include "base/program_home.hpp"
#include "sim_line.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {

// "Поиск приборов..." as the "Настройки" menu shows it.
QAction* ScanMenuEntry(const app::MainWindow& w) {
  for (QAction* top : w.menuBar()->actions()) {
    if (!top->menu() || !top->text().contains(QStringLiteral("Настройки"))) continue;
    for (QAction* a : top->menu()->actions())
      if (a->text() == QStringLiteral("Поиск приборов...")) return a;
  }
  return nullptr;
}

// VTK-08.14 C at address 2 and VTK-08.12 at address 4, on loopback TCP.
struct Line : SimLine {
  Line() : SimLine({{DeviceType::dtVTK0814C, 2}, {DeviceType::dtVTK0812, 4}}, 21) {}
  std::string Ini() const {
    return "[Settings]\nConnectMode=2\nSockIP=127.0.0.1\nSockPort=" + std::to_string(server->Port()) +
           "\nNetAddress=1\nBaudRate=3\n[Ethernet]\nByteConst=100\nPacketConst=100\nPacketRetry=2\n";
  }
};

app::ScanEntry Entry(std::uint32_t address, std::uint32_t baud) { return {address, baud, DeviceType::dtUnknown, {}}; }

}  // namespace

class TestScanReads : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void scanEntryOpensTheWindowOnTheConnection();
  void useChosenWritesAddressAndSpeed();
  void useChosenFailedWriteIsShown();
  void readChosenReadsEachInstrumentOnce();
  void refusedAddressIsSaidAndNotStored();
  void searchFramesReachTheMonitorOfTheDialog();
};

void TestScanReads::scanEntryOpensTheWindowOnTheConnection() {
  TestHome home("[Settings]\nBaudRate=2\nNetAddress=9\n");  // 4800 bit/s
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  QAction* scan = ScanMenuEntry(w);
  QVERIFY(scan);
  QVERIFY(scan->isEnabled());
  QString title;
  std::vector<bool> speeds;
  ui.onDialog = [&](QDialog& d) {
    auto* s = qobject_cast<app::ScanDialog*>(&d);
    if (!s) return int(QDialog::Rejected);
    title = s->windowTitle();
    for (std::size_t i = 0; i < 5; ++i) speeds.push_back(s->SpeedBox(i)->isChecked());
    return int(QDialog::Rejected);
  };
  scan->trigger();
  QCOMPARE(ui.dialogs, 1);
  QCOMPARE(title, QStringLiteral("Поиск приборов"));
  // The connection's own speed is the one offered.
  QCOMPARE(speeds, (std::vector<bool>{false, true, false, false, false}));
  QCOMPARE(w.AddressField()->value(), 9);  // closing without a choice changes nothing
}

void TestScanReads::useChosenWritesAddressAndSpeed() {
  TestHome home("[Settings]\nBaudRate=4\nNetAddress=1\n");
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  ui.onDialog = [&](QDialog& d) {
    auto* s = qobject_cast<app::ScanDialog*>(&d);
    if (!s) return int(QDialog::Rejected);
    Q_EMIT s->UseChosen(Entry(17, 2400));
    return int(QDialog::Rejected);
  };
  w.Setup().ScanCommand();
  QCOMPARE(ui.Count("warn"), 0);
  QCOMPARE(w.AddressField()->value(), 17);
  QCOMPARE(w.Connection().netAddress, 17);
  QCOMPARE(w.Connection().BaudRate(), 2400u);
  IniFile after(home.Path() / "StatVTK.ini");
  QCOMPARE(after.ReadInteger("Settings", "NetAddress", -1), 17LL);
  QCOMPARE(after.ReadInteger("Settings", "BaudRate", -1), 1LL);
}

void TestScanReads::useChosenFailedWriteIsShown() {
  TestHome home;
  // A folder where the settings file should be: nothing can be written.
  std::filesystem::create_directory(home.Path() / "StatVTK.ini");
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  const int before = w.AddressField()->value();
  ui.onDialog = [&](QDialog& d) {
    auto* s = qobject_cast<app::ScanDialog*>(&d);
    if (s) Q_EMIT s->UseChosen(Entry(before + 5, 9600));
    return int(QDialog::Rejected);
  };
  w.Setup().ScanCommand();
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().startsWith(QStringLiteral("Не удалось записать настройки: ")));
  QCOMPARE(w.AddressField()->value(), before);  // nothing taken over
  QCOMPARE(w.Connection().netAddress, std::int64_t(before));
}

void TestScanReads::readChosenReadsEachInstrumentOnce() {
  Line line;
  QVERIFY(line.server);
  TestHome home(line.Ini());
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  ui.onDialog = [&](QDialog& d) {
    if (auto* s = qobject_cast<app::ScanDialog*>(&d)) {
      // Address 5 answered the search but is gone by the read.
      Q_EMIT s->ReadChosen({Entry(2, 9600), Entry(4, 9600), Entry(5, 9600)});
      return s->result();
    }
    return AcceptReadAll(d);
  };
  std::vector<int> addresses;
  QStringList panels;
  connect(&w.Jobs(), &app::JobController::batchAddress, &w,
          [&](quint32 a, int, int count) { addresses.push_back(int(a) * 10 + count); });
  // Connected after the frame's own handler: what panel 0 shows once the stage is told.
  connect(&w.Jobs(), &app::JobController::stage, &w, [&](const QString&) { panels << w.PanelText(0); });
  QSignalSpy started(&w.Jobs(), &app::JobController::started);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Setup().ScanCommand();
  QVERIFY(done.wait(120000));
  QCOMPARE(started.count(), 1);  // one job, the line opened once
  QCOMPARE(addresses, (std::vector<int>{23, 43, 53}));
  QVERIFY(panels.filter(QStringLiteral("Адрес 4 (2 из 3)")).size() > 0);

  const auto windows = StatWindows(w);
  QCOMPARE(windows.size(), std::size_t(2));
  std::set<DeviceType> models{windows[0]->Model(), windows[1]->Model()};
  QCOMPARE(models, (std::set<DeviceType>{DeviceType::dtVTK0814C, DeviceType::dtVTK0812}));
  std::size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(DataFolder(home.Path()))) files += e.is_regular_file();
  QCOMPARE(files, std::size_t(2));

  bool summary = false;
  for (const std::string& l : w.Messages()->Log().Lines())
    summary = summary || l.find("Прочитано 2 из 3; адрес 5: ") != std::string::npos;
  QVERIFY(summary);
  QVERIFY(ScanMenuEntry(w)->isEnabled());
}

void TestScanReads::refusedAddressIsSaidAndNotStored() {
  Line line;
  TestHome home(line.Ini());
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.AddressField()->setValue(12345678);  // no M-Bus: the line cannot ask it
  QVERIFY(home.Ini().find("NetAddress=1\n") != std::string::npos);
  QVERIFY2(w.PanelText(0).contains(QStringLiteral("больше 255")), qPrintable(w.PanelText(0)));
  QString note;
  bool started = true;
  ui.onDialog = [&](QDialog& d) {
    auto* s = qobject_cast<app::ScanDialog*>(&d);
    if (!s) return int(QDialog::Rejected);
    s->StartSearch();
    started = s->Searching();
    note = s->Note()->isVisibleTo(s) ? s->Note()->text() : QString();
    return int(QDialog::Rejected);
  };
  w.Setup().ScanCommand();
  QVERIFY(!started);
  QVERIFY2(note.startsWith(QStringLiteral("Недопустимое значение NetAddress=12345678 ")), qPrintable(note));
  QVERIFY(note.endsWith(QStringLiteral("Чтение не начато.")));
  w.AddressField()->setValue(4);
  QVERIFY(home.Ini().find("NetAddress=4\n") != std::string::npos);
  QVERIFY(w.PanelText(0).isEmpty());
}

void TestScanReads::searchFramesReachTheMonitorOfTheDialog() {
  Line line;
  TestHome home(line.Ini());
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  int lines = 0;
  bool ownWindow = false;
  QString note;
  ui.onDialog = [&](QDialog& d) {
    auto* s = qobject_cast<app::ScanDialog*>(&d);
    if (!s) return int(QDialog::Rejected);
    QTest::mouseClick(s->MonitorButton(), Qt::LeftButton);
    auto* monitor = s->findChild<app::TrafficWindow*>();
    if (!monitor) return int(QDialog::Rejected);
    // A window of the dialog's own: a modal dialog does not keep it from use.
    ownWindow = monitor->isWindow() && monitor->isVisible();
    s->FirstAddress()->setValue(2);
    s->LastAddress()->setValue(3);
    QSignalSpy finished(s, &app::ScanDialog::SearchFinished);
    s->StartSearch();
    if (!finished.wait(20000)) return int(QDialog::Rejected);
    QTest::qWait(50);  // the last frames' posts
    lines = monitor->LineCount();
    note = monitor->Text();
    return int(QDialog::Rejected);
  };
  w.Setup().ScanCommand();
  QVERIFY(ownWindow);
  QVERIFY2(note.contains(QStringLiteral("-> 55 02")) && note.contains(QStringLiteral("-> 55 03")), qPrintable(note));
  QVERIFY(lines >= 3);  // both requests and the answer of address 2
}

QTEST_MAIN(TestScanReads)
#include "test_scan_reads.moc"
