// Child windows and dialogs on a site visit: typed dates in ДД.ММ.ГГ that
// roll over month ends, a safe CSV
// name for a damaged serial, the connection dialog's refusals, the search's
// memory and its one-row "Использовать", the traffic monitor's save.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <array>
#include <fstream>
#include <limits>

#include "app/child_geometry.hpp"
#include "app/connection_dialog.hpp"
#include "app/current_window.hpp"
#include "app/date_field.hpp"
#include "app/path_text.hpp"
#include "app/run_outcome.hpp"
#include "app/scan_dialog.hpp"
#include "app/stat_window.hpp"
#include "app/traffic_window.hpp"
#include "reports/report_export.hpp"
#include "stats/record_check.hpp"
#include "support/child_test_app.hpp"

using namespace childtest;

namespace {

const CalendarDate kToday{2024, 6, 14};

bool SafeInFileName(const std::string& name) {
  for (char ch : name) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 0x20 || std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos) return false;
  }
  return !name.empty();
}

}  // namespace

class TestSiteChildren : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void datesAreTypedInRussianOrder();
  void dayArrowsRollOverMonthEnds();
  void placesFitTheArea();
  void damagedSerialGivesASafeCsvName();
  void reportNamesAreSafe();
  void impossibleRecordsAreCounted();
  void connectionDialogRefusesBadValues_data();
  void connectionDialogRefusesBadValues();
  void connectionDialogEnablesTheChosenTransport();
  void searchRemembersAndUsesOneRow();
  void trafficMonitorIsSaved();
  void runEndsAreWorded();
};

void TestSiteChildren::datesAreTypedInRussianOrder() {
  TestApp app("dates");
  StatWindow w(DeviceType::dtVTK0812, app, kToday);
  w.Load(SimImage(DeviceType::dtVTK0812));
  w.show();
  QDateEdit* begin = w.BeginPicker();
  QCOMPARE(begin->displayFormat(), QStringLiteral("dd.MM.yy"));
  begin->setDate(QDate(2024, 6, 1));
  QCOMPARE(begin->text(), QStringLiteral("01.06.24"));
  begin->setFocus();
  begin->setSelectedSection(QDateTimeEdit::DaySection);
  QTest::keyClicks(begin, QStringLiteral("05.06.24"));
  QTest::keyClick(begin, Qt::Key_Return);
  QCOMPARE(begin->date(), QDate(2024, 6, 5));
  // The window's period takes the typed date.
  QCOMPARE(w.WindowModel().BeginDate().day, 5);
  QCOMPARE(w.WindowModel().BeginDate().month, 6);
}

void TestSiteChildren::dayArrowsRollOverMonthEnds() {
  app::DateField f;
  f.setDate(QDate(2024, 1, 31));
  f.setCurrentSection(QDateTimeEdit::DaySection);
  f.stepBy(1);
  QCOMPARE(f.date(), QDate(2024, 2, 1));
  f.stepBy(-1);
  QCOMPARE(f.date(), QDate(2024, 1, 31));
  f.setDate(QDate(2024, 3, 1));
  f.setCurrentSection(QDateTimeEdit::DaySection);
  f.stepBy(-1);
  QCOMPARE(f.date(), QDate(2024, 2, 29));
  // The month's own arrows keep the day where it fits.
  f.setCurrentSection(QDateTimeEdit::MonthSection);
  f.stepBy(1);
  QCOMPARE(f.date().month(), 3);
}

void TestSiteChildren::placesFitTheArea() {
  const QRect area(0, 0, 800, 500);
  const struct {
    QRect wanted, fitted;
  } fits[] = {
      {{10, 10, 300, 200}, {10, 10, 300, 200}},      // inside: as it is
      {{700, 450, 300, 200}, {500, 300, 300, 200}},  // past the corner: moved back
      {{-50, -20, 300, 200}, {0, 0, 300, 200}},      // before the corner
      {{100, 100, 2000, 900}, {0, 0, 800, 500}},     // larger: the area
      {{5000, 4000, 640, 620}, {160, 0, 640, 500}},
  };
  for (const auto& f : fits) QCOMPARE(app::FitInside(f.wanted, area), f.fitted);
  // Cascading: the corner first, then steps; a step that would cut too much starts over.
  QCOMPARE(app::CascadeRect(area, std::nullopt, QSize(300, 200)), QRect(0, 0, 300, 200));
  QCOMPARE(app::CascadeRect(area, QPoint(0, 0), QSize(300, 200)), QRect(24, 24, 300, 200));
  QCOMPARE(app::CascadeRect(area, QPoint(0, 0), QSize(900, 700)), QRect(24, 24, 776, 476));
  QCOMPARE(app::CascadeRect(area, QPoint(400, 300), QSize(600, 400)), QRect(0, 0, 600, 400));
}

void TestSiteChildren::damagedSerialGivesASafeCsvName() {
  TestApp app("csvname");
  StatData data = SimImage(DeviceType::dtVTK0812);
  const std::array<std::uint8_t, 8> damaged = {'1', '/', ':', 0x01, '*', '?', '\\', '|'};
  std::copy(damaged.begin(), damaged.end(), data.header.begin() + 512);
  StatWindow w(DeviceType::dtVTK0812, app, kToday);
  w.Load(data);
  app.ui.saveAnswer.clear();  // cancelled: only the proposal matters
  w.ExportCsv();
  QCOMPARE(app.ui.calls.back().kind, QStringLiteral("Save"));
  const std::string proposed = PathOf(app.ui.calls.back().text).filename().string();
  QVERIFY2(SafeInFileName(proposed), proposed.c_str());
  QVERIFY2(proposed.ends_with("_daily.csv"), proposed.c_str());
}

void TestSiteChildren::reportNamesAreSafe() {
  const std::string serial("\x01/..\\:*\x7f?", 9);
  for (const std::string& name :
       {HourlyReportFileName(serial, "05.03.24"), DailyReportFileName(serial, "01.03.24", "05.03.24")})
    QVERIFY2(SafeInFileName(name), name.c_str());
  QCOMPARE(QString::fromStdString(HourlyReportFileName("50179157", "05.03.24")),
           QStringLiteral("50179157_2024-03-05_hourly.xlsx"));
}

void TestSiteChildren::impossibleRecordsAreCounted() {
  struct Case {
    double forward, reverse, value;
    bool plausible;
  } cases[] = {
      {12.5, 0, 1.0, true},
      {-0.001, 0, 1.0, false},
      {0, -5, 1.0, false},
      {2e12, 0, 1.0, false},
      {1e12, 0, 1.0, true},
      {1, 0, std::numeric_limits<double>::quiet_NaN(), false},
      {std::numeric_limits<double>::infinity(), 0, 1.0, false},
  };
  for (const Case& c : cases) {
    StatRecord r;
    r.forwardTotal = c.forward;
    r.reverseTotal = c.reverse;
    r.values = {{"V+", c.forward, false}, {"x", c.value, false}};
    QCOMPARE(RecordPlausible(r), c.plausible);
  }
  // A clean image: nothing damaged, and its records counted by kind.
  TestApp app("damage");
  StatWindow w(DeviceType::dtVTK0812, app, kToday);
  w.Load(SimImage(DeviceType::dtVTK0812));
  QVERIFY(w.DamageWarning().isEmpty());
  const RecordCounts counts = CountRecords(w.WindowModel().Model());
  QCOMPARE(counts.damaged, std::size_t(0));
  QVERIFY(counts.Valid(ArchiveKind::Hourly) > 0);
  QVERIFY(counts.Valid(ArchiveKind::Daily) > 0);
}

void TestSiteChildren::connectionDialogRefusesBadValues_data() {
  QTest::addColumn<QString>("ip");
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("attempts");
  QTest::addColumn<QString>("reason");
  QTest::newRow("octet over 255") << "999.1.1.1" << 4001 << 3 << "999.1.1.1";
  QTest::newRow("three parts") << "10.0.1" << 4001 << 3 << "IPv4";
  QTest::newRow("letters") << "10.0.0.x" << 4001 << 3 << "IPv4";
  QTest::newRow("port over 65535") << "10.0.0.1" << 70000 << 3 << "70000";
  QTest::newRow("port 0") << "10.0.0.1" << 0 << 3 << "от 1 до 65535";
  QTest::newRow("no attempts") << "10.0.0.1" << 4001 << 0 << "Попыток соединения: 0";
  QTest::newRow("empty address") << "" << 4001 << 3 << "Укажите адрес TCP/IP.";
  QTest::newRow("good") << "10.0.0.1" << 4001 << 3 << "";
}

void TestSiteChildren::connectionDialogRefusesBadValues() {
  QFETCH(QString, ip);
  QFETCH(int, port);
  QFETCH(int, attempts);
  QFETCH(QString, reason);
  ScriptedUi ui;
  ConnectionSettings s;
  s.connectMode = ConnectMode::Tcp;
  app::ConnectionDialog d(s, ui, {});
  int stored = 0;  // a refused dialog stores nothing
  d.SetAcceptance([&stored](const ConnectionSettings&) {
    ++stored;
    return QString();
  });
  d.Address()->setText(ip);
  d.Port()->setValue(port);
  d.Attempts()->setValue(attempts);
  QCOMPARE(d.Port()->value(), port);  // never cut to fit
  QCOMPARE(d.Attempts()->value(), attempts);
  d.accept();
  QCOMPARE(stored, reason.isEmpty() ? 1 : 0);
  if (reason.isEmpty()) {
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(ui.Count("Warn"), 0);
    return;
  }
  QCOMPARE(d.result(), int(QDialog::Rejected));
  QCOMPARE(ui.Count("Warn"), 1);
  QVERIFY2(ui.calls.back().text.contains(reason), qPrintable(ui.calls.back().text));
}

void TestSiteChildren::connectionDialogEnablesTheChosenTransport() {
  ScriptedUi ui;
  ConnectionSettings s;
  s.connectMode = ConnectMode::Serial;
  app::ConnectionDialog d(s, ui, {});
  QVERIFY(d.SerialPort()->isEnabled() && d.Baud()->isEnabled() && d.MBus()->isEnabled());
  QVERIFY(!d.ModemPort()->isEnabled() && !d.Phone()->isEnabled() && !d.Address()->isEnabled());
  d.Modem()->setChecked(true);
  QVERIFY(d.ModemPort()->isEnabled() && d.Phone()->isEnabled());
  QVERIFY(!d.SerialPort()->isEnabled() && !d.Address()->isEnabled() && !d.Port()->isEnabled());
  // The modem's own port field names its port.
  d.ModemPort()->setEditText(QStringLiteral("/dev/ttyACM0"));
  d.Phone()->setText(QStringLiteral("123"));
  QCOMPARE(d.Values().portName, std::string("/dev/ttyACM0"));
  d.Tcp()->setChecked(true);
  QVERIFY(d.Address()->isEnabled() && d.Port()->isEnabled());
  QVERIFY(!d.ModemPort()->isEnabled() && !d.SerialPort()->isEnabled());
  QVERIFY(d.Timing(2, 0)->isEnabled() && !d.Timing(0, 0)->isEnabled());
}

void TestSiteChildren::searchRemembersAndUsesOneRow() {
  ConnectionSettings s;
  s.connectMode = ConnectMode::Serial;
  s.portName = "/dev/ttyUSB0";
  ScanMemory memory;
  {
    app::ScanDialog d(s);
    QVERIFY(d.LineText()->text().contains(QStringLiteral("/dev/ttyUSB0")));
    d.FirstAddress()->setValue(3);
    d.LastAddress()->setValue(9);
    d.SpeedBox(0)->setChecked(true);
    memory = d.Memory();
  }
  memory.entries = {{3, 2400, DeviceType::dtVTK0812, QStringLiteral("VTK-08.12")},
                    {7, 9600, DeviceType::dtVTK0814C, QStringLiteral("VTK-08.14")}};
  app::ScanDialog d(s);
  d.Recall(memory);
  QCOMPARE(d.FirstAddress()->value(), 3);
  QCOMPARE(d.LastAddress()->value(), 9);
  QVERIFY(d.SpeedBox(0)->isChecked());
  QCOMPARE(d.Table()->rowCount(), 2);
  QVERIFY(!d.UseButton()->isEnabled() && !d.ReadButton()->isEnabled());
  d.Table()->selectRow(0);
  QVERIFY(d.UseButton()->isEnabled() && d.ReadButton()->isEnabled());
  d.Table()->selectAll();
  QVERIFY(!d.UseButton()->isEnabled());
  QVERIFY(d.ReadButton()->isEnabled());
  // Another port: the range and speeds stay, the findings are not its own.
  ConnectionSettings other = s;
  other.portName = "/dev/ttyUSB1";
  app::ScanDialog elsewhere(other);
  elsewhere.Recall(memory);
  QCOMPARE(elsewhere.FirstAddress()->value(), 3);
  QCOMPARE(elsewhere.Table()->rowCount(), 0);
}

void TestSiteChildren::trafficMonitorIsSaved() {
  TestApp app("traffic");
  app::TrafficWindow w(app.ui, app.Home());
  app::TrafficEntry e;
  e.when = QDateTime::currentDateTime();
  e.bytes = QByteArray("\x55\x01\x02", 3);
  w.Add(e);
  w.Add(e);
  const auto file = app.Home() / "traffic.txt";
  app.ui.saveAnswer = PathText(file);
  w.Save();
  QCOMPARE(app.ui.Count("Warn"), 0);
  std::ifstream in(file);
  int lines = 0;
  for (std::string line; std::getline(in, line);) lines += line.find("55 01 02") != std::string::npos;
  QCOMPARE(lines, 2);
}

void TestSiteChildren::runEndsAreWorded() {
  ReadReport timeout;
  timeout.result.outcome = ReadOutcome::Failed;
  timeout.result.at = FailedAt::Identify;
  timeout.result.error = MakeError(ErrorCode::Timeout, "нет ответа за 150 мс");
  LineSpec serial;
  serial.target = SerialLine{1, "/dev/ttyUSB9", 9600, false};
  QCOMPARE(app::FailureText(timeout, serial, 2), QStringLiteral("адрес 2: нет ответа за 150 мс (Тайм-аут [2])"));
  ReadReport port;
  port.result.outcome = ReadOutcome::Failed;
  port.result.at = FailedAt::Open;
  port.result.error = MakeError(ErrorCode::PortInit, "нет такого порта");
  QCOMPARE(app::FailureText(port, serial, 2), QStringLiteral("Ошибка открытия порта /dev/ttyUSB9."));
  // A poll is one line: that it went well, or its last message.
  const std::vector<QString> steps = {"OpenPort: IP 127.0.0.1:4001", "[1] Определение типа устройства...",
                                      "Чтение текущих показаний", "Ошибка чтения.\r\nДополнительная информация: x"};
  ReadReport good;
  good.result.outcome = ReadOutcome::Done;
  good.delivered = true;
  QCOMPARE(app::PollLogLine(steps, good, 7), QStringLiteral("Текущие показания обновлены, адрес 7"));
  QCOMPARE(app::PollLogLine(steps, timeout, 7), steps.back());
  ReadReport written;
  written.result.outcome = ReadOutcome::Done;
  written.file.written = true;
  written.file.path = "/home/u/Data/50179157.814";
  QCOMPARE(app::StatisticsOutcomeText(written), QStringLiteral("Статистика записана: /home/u/Data/50179157.814"));
  written.result.outcome = ReadOutcome::Stopped;
  QCOMPARE(app::StatisticsOutcomeText(written),
           QStringLiteral("Статистика записана: /home/u/Data/50179157.814 (неполные данные)"));
  // A TCP connection that failed is told as this system names it.
  ReadReport tcp;
  tcp.result.outcome = ReadOutcome::Failed;
  tcp.result.at = FailedAt::Open;
  tcp.result.error = MakeError(ErrorCode::Connect, "соединение отвергнуто");
  LineSpec net;
  net.mode = ConnectMode::Tcp;
  net.target = TcpLine{"127.0.0.1", 4001, false, false, "", 5};
#ifdef _WIN32
  QCOMPARE(app::FailureText(tcp, net, 2), QStringLiteral("Ошибка WINSOCK соединения."));
#else
  QCOMPARE(app::FailureText(tcp, net, 2), QStringLiteral("Ошибка TCP соединения."));
#endif
}

QTEST_MAIN(TestSiteChildren)
#include "test_site_children.moc"
