// Reading jobs from the main window against an in-process simulated
// instrument: full reads of each model, current readings, the stop command
// and what a stopped read shows, and the traffic monitor.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>

#include "app/log_window.hpp"
#include "app/stat_window.hpp"
#include "app/traffic_window.hpp"
#include "app_test_util.hpp"
#include "stats/record_check.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {

// The log lines containing `text`.
std::vector<std::string> LogLinesWith(const app::MainWindow& w, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : w.Messages()->Log().Lines())
    if (line.find(text) != std::string::npos) found.push_back(line);
  return found;
}

// A current-readings window stand-in that records what it was given.
class RecordingCurrent : public QWidget, public app::CurrentChild {
 public:
  QWidget* Widget() override { return this; }
  void ShowCurrent(std::span<const std::uint8_t, 1024> b, DeviceType t, const std::string& s) override {
    block.assign(b.begin(), b.end());
    type = t;
    serial = s;
    ++shown;
  }
  void RefreshFailed(const QString& reason) override { failures << reason; }
  bool Polling() const override { return false; }
  void StopPolling() override {}
  void ResumePolling() override {}
  std::vector<std::uint8_t> block;
  DeviceType type = DeviceType::dtUnknown;
  std::string serial;
  int shown = 0;
  QStringList failures;
};

}  // namespace

class TestReading : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void fullReadFillsStatisticsWindow_data();
  void fullReadFillsStatisticsWindow();
  void readsOpenAWindowEachOrFillAnEmptyOne();
  void currentReadOpensCurrentWindow();
  void refreshGoesToItsWindowAndFailureIsTold();
  void stopEndsTheReadQuickly();
  void failedReadOpensNoWindowButNamesItsFile();
  void trafficMonitorShowsFrames();
  void failedFileWriteIsShownAndWindowStillOpens();
  void trafficLinesTellFramesApart_data();
  void trafficLinesTellFramesApart();
};

void TestReading::trafficLinesTellFramesApart_data() {
  QTest::addColumn<int>("direction");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("expected");
  const QByteArray frame = QByteArray::fromHex("55fe0112");
  QTest::newRow("sent") << int(FrameTrace::Direction::Sent) << frame << 0 << "12:34:56.789  -> 55 FE 01 12";
  QTest::newRow("good reply") << int(FrameTrace::Direction::Received) << QByteArray::fromHex("aa01") << 0
                              << "12:34:56.789  <- AA 01";
  QTest::newRow("bad reply") << int(FrameTrace::Direction::Received) << QByteArray::fromHex("aa02") << 3
                             << "12:34:56.789  <! AA 02  [ответ неверной длины: помехи на линии или другой прибор "
                                "(Неверный размер пакета [3])]";
  QTest::newRow("no reply") << int(FrameTrace::Direction::Received) << QByteArray() << 2
                            << "12:34:56.789  <! [нет ответа (Тайм-аут [2])]";
  QTest::newRow("late") << int(FrameTrace::Direction::Late) << QByteArray::fromHex("aa") << 0
                        << "12:34:56.789  <~ AA  [опоздавшие байты]";
}

void TestReading::trafficLinesTellFramesApart() {
  QFETCH(int, direction);
  QFETCH(QByteArray, bytes);
  QFETCH(int, result);
  QFETCH(QString, expected);
  app::TrafficEntry e;
  e.when = QDateTime(QDate(2026, 1, 2), QTime(12, 34, 56, 789));
  e.direction = FrameTrace::Direction(direction);
  e.bytes = bytes;
  e.result = std::uint32_t(result);
  QCOMPARE(app::TrafficLine(e), expected);
}

void TestReading::fullReadFillsStatisticsWindow_data() {
  QTest::addColumn<int>("model");
  QTest::newRow("VTK-08.12") << int(DeviceType::dtVTK0812);
  QTest::newRow("VTK-08.14 C") << int(DeviceType::dtVTK0814C);
  QTest::newRow("VTK-08.14 CM") << int(DeviceType::dtVTK0814CM);
  QTest::newRow("LDN-08") << int(DeviceType::dtLDN08);
}

void TestReading::fullReadFillsStatisticsWindow() {
  QFETCH(int, model);
  // LDN-08 answers on M-Bus (the long address) only.
  const bool ldn = DeviceType(model) == DeviceType::dtLDN08;
  TestHome home(ldn ? "[Settings]\nConnectMode=2\nSockIP=127.0.0.1\nUseMBus=1\nNetAddress=12345678\n"
                    : "[Settings]\nConnectMode=2\nSockIP=127.0.0.1\n");
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::Instrument inst(Model(DeviceType(model)));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QVERIFY(ReadAndWait(w));

  const auto windows = StatWindows(w);
  QCOMPARE(windows.size(), std::size_t(1));
  app::StatChild* stat = windows.front();
  QVERIFY(stat->Loaded());
  const StatData expected = inst.ExpectedDump();
  QCOMPARE(int(stat->Data().type), model);
  QVERIFY(stat->Data().area == expected.area);
  QVERIFY(stat->Data().header == expected.header);
  QVERIFY(stat->Widget()->windowTitle().startsWith(QStringLiteral("Статистика - ")));
  QCOMPARE(w.Reads().WindowCounter(), 1);
  // The file written in Data/ is offered in the recent list, byte for byte the image.
  QCOMPARE(w.RecentFiles().size(), 1);
  std::vector<std::uint8_t> file = TestHome::ReadBytes(w.RecentFiles().front().toStdString());
  std::vector<std::uint8_t> image = expected.area;
  image.insert(image.end(), expected.header.begin(), expected.header.end());
  QVERIFY(file == image);
  QVERIFY(w.Actions().read->isEnabled());
  QVERIFY(!w.Messages()->Log().Lines().empty());
  QVERIFY(ui.shown.empty());
  // The file reopens as the member it was read from (a .814 file cannot tell C
  // from CM), even after the window has since written settings of its own.
  QVERIFY(w.Services().Settings().WriteInteger("Settings", "TopMost", 0));
  QVERIFY(w.Files().OpenStatFile(w.RecentFiles().front(), ExtensionRule::Exact));
  QCOMPARE(StatWindows(w).size(), std::size_t(2));
  QCOMPARE(int(StatWindows(w).back()->Data().type), model);
}

void TestReading::readsOpenAWindowEachOrFillAnEmptyOne() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::Instrument inst(Model(DeviceType::dtVTK0812));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QVERIFY(ReadAndWait(w));
  QVERIFY(ReadAndWait(w));  // the same window object runs a second job
  QCOMPARE(StatWindows(w).size(), std::size_t(2));
  QCOMPARE(w.Reads().WindowCounter(), 2);
  QVERIFY(StatWindows(w)[1]->Data().area == inst.ExpectedDump().area);
  w.Files().NewFile();
  QVERIFY(ReadAndWait(w));  // the empty new window takes the image
  QCOMPARE(StatWindows(w).size(), std::size_t(3));
  QVERIFY(StatWindows(w)[2]->Loaded());
}

void TestReading::currentReadOpensCurrentWindow() {
  TestHome home("[Settings]\nUseMBus=1\nNetAddress=12345678\n");
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtLDN08));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadCurrent();
  QVERIFY(done.wait(30000));
  QCOMPARE(ui.dialogs, 0);
  bool found = false;
  for (QMdiSubWindow* s : w.Mdi()->subWindowList())
    if (dynamic_cast<app::CurrentChild*>(s->widget())) {
      found = true;
      QVERIFY(s->widget()->windowTitle().startsWith(QStringLiteral("Текущие показания - прибор № ")));
    }
  QVERIFY(found);
  QVERIFY(StatWindows(w).empty());
}

void TestReading::refreshGoesToItsWindowAndFailureIsTold() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  RecordingCurrent target;
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  QVERIFY(w.Services().StartCurrentRefresh(target));
  QVERIFY(!w.Services().StartCurrentRefresh(target));  // one job at a time
  QVERIFY(done.wait(30000));
  QCOMPARE(target.shown, 1);
  QCOMPARE(target.type, DeviceType::dtVTK0814C);
  QCOMPARE(target.block.size(), std::size_t(1024));
  QVERIFY(std::equal(target.block.begin(), target.block.end(), inst.ExpectedDump().header.begin()));
  QVERIFY(target.failures.isEmpty());
  QVERIFY(target.windowTitle().startsWith(QStringLiteral("Текущие показания - прибор № ")));

  // A line that cannot be opened: the window hears of it, nothing else opens.
  NoLine(w);
  QVERIFY(w.Services().StartCurrentRefresh(target));
  QVERIFY(done.wait(30000));
  QCOMPARE(target.shown, 1);
  QCOMPARE(target.failures.size(), 1);
  QVERIFY(!target.failures.front().isEmpty());
  QCOMPARE(w.Mdi()->subWindowList().size(), 1);  // only the message log
}

void TestReading::stopEndsTheReadQuickly() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C, 3));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  w.Reads().ReadStatistics();
  QVERIFY(w.JobRunning());
  QVERIFY(w.Actions().stop->isEnabled());
  // Wait until records are coming in, then stop.
  QTRY_VERIFY_WITH_TIMEOUT(w.Progress()->value() > 20, 30000);
  w.Actions().stop->trigger();
  QVERIFY(done.wait(30000));  // a guard against a hang, not a speed goal
  QVERIFY(!w.JobRunning());
  QVERIFY(w.Actions().read->isEnabled());
  // A stopped read does not hand over a complete image in place of the real one,
  // says so in its caption, the panel and the window, and does not report success.
  QCOMPARE(StatWindows(w).size(), std::size_t(1));
  auto* stat = dynamic_cast<app::StatWindow*>(StatWindows(w).front());
  QVERIFY(stat);
  QVERIFY(stat->Data().area != inst.ExpectedDump().area);
  QVERIFY(stat->windowTitle().endsWith(QStringLiteral(" (неполные данные)")));
  QVERIFY(w.PanelText(0).endsWith(QStringLiteral(" (неполные данные)")));
  QVERIFY(stat->HeldLine()->isVisibleTo(stat));
  QVERIFY2(stat->HeldLine()->text().startsWith(QStringLiteral("Записей: часовых ")),
           qPrintable(stat->HeldLine()->text()));
  // A kind with records is shown: the list is not empty when anything was read.
  const RecordCounts counts = CountRecords(stat->WindowModel().Model());
  QVERIFY(counts.Valid(ArchiveKind::Hourly) + counts.Valid(ArchiveKind::Daily) + counts.Valid(ArchiveKind::Monthly) >
          0);
  QVERIFY(stat->List()->count() > 0);
  QVERIFY(LogLinesWith(w, "успешно").empty());
  QCOMPARE(LogLinesWith(w, "Записи, прочитанные до остановки, записаны в файл ").size(), std::size_t(1));

  // The next read is not ended at once by the old stop request.
  QVERIFY(ReadAndWait(w));
  QVERIFY(!StatWindows(w).empty());
  QVERIFY(StatWindows(w).back()->Data().area == inst.ExpectedDump().area);
  QVERIFY(!StatWindows(w).back()->Widget()->windowTitle().contains(QStringLiteral("неполные")));
}

void TestReading::failedReadOpensNoWindowButNamesItsFile() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  // 1 identification + 8 RTC + 2 RAM + 9 configuration replies, then 50 hourly records.
  sim::InstrumentOptions o = Model(DeviceType::dtVTK0814C);
  o.silentAfter = 1 + 8 + 2 + 9 + 50;
  sim::Instrument inst(o);
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QVERIFY(ReadAndWait(w));
  QVERIFY(StatWindows(w).empty());
  QVERIFY(ui.shown.empty());
  QCOMPARE(LogLinesWith(w, "Ошибка чтения").size(), std::size_t(1));
  const auto named = LogLinesWith(w, "Записи, прочитанные до ошибки, записаны в файл ");
  QCOMPARE(named.size(), std::size_t(1));
  // The file named is offered in the recent list and holds the records fetched.
  QCOMPARE(w.RecentFiles().size(), 1);
  const std::string path = w.RecentFiles().front().toStdString();
  QVERIFY(named.front().find(path) != std::string::npos);
  const std::vector<std::uint8_t> file = TestHome::ReadBytes(path);
  const std::vector<std::uint8_t> dump = inst.ExpectedDumpBytes();
  QCOMPARE(file.size(), dump.size());
  QVERIFY(std::equal(file.begin(), file.begin() + 50 * 64, dump.begin()));
  QVERIFY(std::all_of(file.begin() + 50 * 64, file.begin() + kArea0814Size, [](std::uint8_t b) { return b == 0; }));
  QVERIFY(w.Actions().read->isEnabled());
}

void TestReading::trafficMonitorShowsFrames() {
  TestHome home;
  ScriptedUi ui;
  sim::Instrument inst(Model(DeviceType::dtVTK0814C));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QSignalSpy done(&w, &app::MainWindow::JobFinished);
  // Closed monitor: nothing is collected.
  w.Reads().ReadCurrent();
  QVERIFY(done.wait(30000));
  QVERIFY(w.Traffic() == nullptr);
  // The polling window is closed, so the command reads anew.
  for (QMdiSubWindow* s : w.Mdi()->subWindowList())
    if (dynamic_cast<app::CurrentChild*>(s->widget())) s->close();
  QTRY_VERIFY(w.Actions().readTek->isEnabled());
  w.ShowTraffic();
  QVERIFY(w.Traffic() != nullptr);
  w.Reads().ReadCurrent();
  QVERIFY(done.wait(30000));
  const QString text = w.Traffic()->Text();
  QVERIFY(text.contains(QStringLiteral(" -> 55 ")));  // requests begin 0x55
  QVERIFY(text.contains(QStringLiteral(" <- AA ")));  // replies begin 0xAA
}

void TestReading::failedFileWriteIsShownAndWindowStillOpens() {
  TestHome home;
  ScriptedUi ui;
  ui.onDialog = AcceptReadAll;
  // Data/ is a plain file: the statistics file cannot be written.
  TestHome::WriteText(home.Path() / "Data", "not a folder");
  sim::Instrument inst(Model(DeviceType::dtVTK0812));
  app::MainWindow w(ui, home.Path());
  UseSimulator(w, inst);
  QVERIFY(ReadAndWait(w));
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().contains(QStringLiteral("Data")));
  QCOMPARE(StatWindows(w).size(), std::size_t(1));
  QVERIFY(StatWindows(w).front()->Data().area == inst.ExpectedDump().area);
}

QTEST_MAIN(TestReading)
#include "test_reading.moc"
