// The main window's start-up from StatVTK.ini (caption, connection, the
// first start's hint), its toolbar address, top-most mode, the read
// commands' lock during a job and the export command.
#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>

#include "app_test_util.hpp"
#include "base/version.hpp"
#include "link/serial_channel.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

class TestMainWindow : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void startsFromSettings_data();
  void startsFromSettings();
  void addressIsWrittenAtOnce();
  void topMostToggleIsStored();
  void addressAbove255RefusedWithoutMBus();
  void addressAbove255AllowedWithMBus();
  void exportWithoutStatWindowDoesNothing();
  void childActivationKeepsCommandsLockedDuringJob();
};

void TestMainWindow::startsFromSettings_data() {
  QTest::addColumn<QString>("ini");
  QTest::addColumn<bool>("topMost");
  QTest::addColumn<QString>("connection");
  QTest::addColumn<int>("address");
  // The system's name of COMn: /dev/ttyS(n-1) on Linux, COMn on Windows.
  const auto com = [](int n) { return QString::fromStdString(SerialPortPathOf(n)); };
  QTest::newRow("missing file") << "" << false << com(1) + ", 57600 bps" << 1;
  QTest::newRow("top-most") << "[Settings]\nTopMost=1\n" << true << com(1) + ", 57600 bps" << 1;
  QTest::newRow("TCP") << "[Settings]\nConnectMode=2\nSockIP=10.1.2.3\nSockPort=4001\nNetAddress=17\n"
                       << false << "10.1.2.3:4001" << 17;
  QTest::newRow("mode 7 is serial") << "[Settings]\nConnectMode=7\nComPort=3\nBaudRate=2\nSockIP=10.1.2.3\n"
                                    << false << com(3) + ", 4800 bps" << 1;
  QTest::newRow("modem") << "[Settings]\nConnectMode=1\nComPort=2\n" << false << "Модем, " + com(2) << 1;
}

void TestMainWindow::startsFromSettings() {
  QFETCH(QString, ini);
  QFETCH(bool, topMost);
  QFETCH(QString, connection);
  QFETCH(int, address);
  TestHome home(ini.toStdString());
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  QCOMPARE(w.windowTitle(), QStringLiteral("StatVTK ") + QString::fromUtf8(StatvtkVersion().data()));
  // Until a connection is stored, the frame says how to set one up.
  const bool configured = ini.contains(QStringLiteral("ConnectMode="));
  QCOMPARE(w.EmptyStateText()->isVisibleTo(&w), !configured);
  QCOMPARE(w.PanelText(0).isEmpty(), configured);
  QCOMPARE(w.Actions().topMost->isChecked(), topMost);
  QCOMPARE(bool(w.windowFlags() & Qt::WindowStaysOnTopHint), topMost);
  QCOMPARE(w.PanelText(1), connection);
  QCOMPARE(w.PanelText(2), QString());
  QCOMPARE(w.AddressField()->value(), address);
  // Start-up asks nothing and the message log exists at once.
  QVERIFY(ui.shown.empty());
  QVERIFY(w.Messages() != nullptr);
  QVERIFY(w.Actions().read->isEnabled());
  QVERIFY(!w.Actions().exportReport->isEnabled());
  // Nothing runs: no progress bar, and no stop to press.
  QVERIFY(!w.Progress()->isVisibleTo(&w));
  QVERIFY(!w.Actions().stop->isEnabled());
}

void TestMainWindow::addressIsWrittenAtOnce() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.AddressField()->setValue(42);
  QVERIFY(home.Ini().find("NetAddress=42") != std::string::npos);
  // A new window over the same home starts with it.
  app::MainWindow again(ui, home.Path());
  QCOMPARE(again.AddressField()->value(), 42);
}

void TestMainWindow::topMostToggleIsStored() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.Actions().topMost->trigger();
  QVERIFY(w.Actions().topMost->isChecked());
  QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
  QVERIFY(home.Ini().find("TopMost=1") != std::string::npos);
  w.Actions().topMost->trigger();
  QVERIFY(!(w.windowFlags() & Qt::WindowStaysOnTopHint));
  QVERIFY(home.Ini().find("TopMost=0") != std::string::npos);
}

void TestMainWindow::addressAbove255RefusedWithoutMBus() {
  TestHome home("[Settings]\nNetAddress=300\n");
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  app::MainWindow w(ui, home.Path());
  w.Reads().ReadStatistics();
  QVERIFY(!w.JobRunning());
  QCOMPARE(ui.dialogs, 0);
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().contains("300"));
  w.Reads().ReadCurrent();
  QVERIFY(!w.JobRunning());
  QCOMPARE(ui.Count("warn"), 2);
  QVERIFY(w.Actions().read->isEnabled());
}

void TestMainWindow::addressAbove255AllowedWithMBus() {
  // M-Bus carries a 32-bit address: the job starts (and fails at once here).
  TestHome home("[Settings]\nNetAddress=300\nUseMBus=1\n");
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  app::MainWindow w(ui, home.Path());
  std::uint32_t mbusAddress = 0;
  bool useMBus = false;
  w.SetJobSetup([&](TReadThread& job) {
    job.Hooks().channelFactory = ([](Tmod07&) -> std::unique_ptr<ByteChannel> { return nullptr; });
    mbusAddress = job.Job().instruments.front().address;
    useMBus = job.Job().line.useMBus;
  });
  QVERIFY(ReadAndWait(w));
  QCOMPARE(mbusAddress, 300u);
  QVERIFY(useMBus);
  QCOMPARE(ui.Count("warn"), 0);
  QVERIFY(w.Actions().read->isEnabled());
}

void TestMainWindow::exportWithoutStatWindowDoesNothing() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.ExportReport();
  QVERIFY(ui.shown.empty());
  w.Files().NewFile();
  QVERIFY(w.Actions().exportReport->isEnabled());
  QCOMPARE(w.Mdi()->activeSubWindow()->windowTitle(), QStringLiteral("Статистика 1"));
}

void TestMainWindow::childActivationKeepsCommandsLockedDuringJob() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0812, 2));  // outlives the window's job
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  ui.onDialog = AcceptReadAll;
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadStatistics();
  QVERIFY(w.JobRunning());
  // No search beside the read: the entry is off and the command refuses.
  QVERIFY(!w.Actions().scan->isEnabled());
  w.Setup().ScanCommand();
  QCOMPARE(ui.dialogs, 1);  // the read parameters only
  // Another window becoming active or closing must not unlock a second job.
  w.Files().NewFile();
  QVERIFY(!w.Actions().read->isEnabled());
  w.Mdi()->activeSubWindow()->close();
  QCoreApplication::processEvents();
  QVERIFY(!w.Actions().readTek->isEnabled());
  QVERIFY(w.Actions().stop->isEnabled());
  w.Reads().StopReading();
  QVERIFY(done.wait(30000));
  QVERIFY(w.Actions().read->isEnabled());
  QVERIFY(w.Actions().scan->isEnabled());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
