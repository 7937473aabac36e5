// The dialogs: read parameters (each click written at once, the records
// new since the last read), connection
// (OK stores, a failed write, "Стандартные значения"), report settings and
// the About box links.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/about_dialog.hpp"
#include "app/connection_dialog.hpp"
#include "app/log_window.hpp"
#include "app/report_settings.hpp"
#include "app_test_util.hpp"
#include "base/ini_file.hpp"
#include "base/version.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

namespace {
QPushButton* ButtonNamed(QWidget& w, const QString& text) {
  for (auto* b : w.findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}
// OK stores the values, as the frame does.
void StoreOnAccept(app::ConnectionDialog& d, IniFile& file) {
  d.SetAcceptance([&file](const ConnectionSettings& s) {
    return StoreConnectionSettings(file, s) ? QString() : QStringLiteral("не записано");
  });
}
}  // namespace

class TestDialogs : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void readParamsLoadsAndWritesEachClick_data();
  void readParamsLoadsAndWritesEachClick();
  void readParamsCountsTakenOnlyWithLast();
  void connectionOkStoresAndRefreshesPanel();
  void connectionStandardValuesAskFirst();
  void connectionFailedWriteKeepsDialogOpen();
  void comPortIsTheComNumber_data();
  void comPortIsTheComNumber();
  void reportSettingsDefaultAndStored();
  void aboutLinksGoThroughTheDesktop();
};

void TestDialogs::readParamsLoadsAndWritesEachClick_data() {
  QTest::addColumn<QString>("ini");
  QTest::addColumn<int>("checked");  // 0 all, 1 last, 2 new, -1 none
  QTest::addColumn<int>("recType");
  // A fresh start has every kind checked: "Вся статистика" reads all of it.
  QTest::newRow("defaults") << "" << 0 << 15;
  QTest::newRow("last") << "[SelectStatSettings]\nRadioButton=1\nRecType=2\n" << 1 << 2;
  QTest::newRow("new records") << "[SelectStatSettings]\nRadioButton=2\nRecType=15\n" << 2 << 15;
  QTest::newRow("hourly+monthly") << "[SelectStatSettings]\nRadioButton=0\nRecType=5\n" << 0 << 5;
  QTest::newRow("unknown value") << "[SelectStatSettings]\nRadioButton=7\nRecType=15\n" << -1 << 15;
}

void TestDialogs::readParamsLoadsAndWritesEachClick() {
  QFETCH(QString, ini);
  QFETCH(int, checked);
  QFETCH(int, recType);
  TestHome home(ini.toStdString());
  IniFile file(home.Path() / "StatVTK.ini");
  const ReadChoice choice;
  app::ReadParamsDialog d(file, choice);
  const auto stored = [&home](const char* key) {
    return int(IniFile(home.Path() / "StatVTK.ini").ReadInteger(kSelectSection, key, -1));
  };
  QCOMPARE(d.RadioNew()->text(), QStringLiteral("Новые записи (с последнего чтения)"));
  QCOMPARE(d.RadioAll()->isChecked(), checked == 0);
  QCOMPARE(d.RadioLast()->isChecked(), checked == 1);
  QCOMPARE(d.RadioNew()->isChecked(), checked == 2);
  QCOMPARE(d.Choice().readNew, checked == 2);
  QCOMPARE(d.Hours()->isEnabled(), checked == 1);
  QCOMPARE(d.Hours()->maximum(), 1536);
  QCOMPARE(d.Days()->maximum(), 384);
  const int shown = d.CheckHourly()->isChecked() + 2 * d.CheckDaily()->isChecked() + 4 * d.CheckMonthly()->isChecked() +
                    8 * d.CheckEvents()->isChecked();
  QCOMPARE(shown, recType);
  // A click is written at once, even when the dialog is then cancelled.
  d.CheckEvents()->click();
  d.reject();
  QCOMPARE(stored("RecType"), recType ^ 8);
  d.RadioLast()->click();
  QCOMPARE(stored("RadioButton"), 1);
  QVERIFY(d.Hours()->isEnabled());
  d.RadioNew()->click();
  QCOMPARE(stored("RadioButton"), 2);
  const ReadChoice c = d.Choice();
  QVERIFY(c.readNew && !c.readAll && !c.readLast);
  // "Вся статистика" again: the counts are of no use and are disabled.
  d.RadioAll()->click();
  QCOMPARE(stored("RadioButton"), 0);
  QVERIFY(!d.Choice().readNew);
  QVERIFY(!d.Hours()->isEnabled());
  QVERIFY(!d.Days()->isEnabled());
}

void TestDialogs::readParamsCountsTakenOnlyWithLast() {
  TestHome home;
  IniFile file(home.Path() / "StatVTK.ini");
  ReadChoice choice;
  app::ReadParamsDialog d(file, choice);
  d.RadioLast()->click();
  d.Hours()->setValue(0);
  d.Days()->setValue(5);
  choice = d.Choice();
  QVERIFY(choice.readLast && !choice.readAll);
  QCOMPARE(int(choice.hours), 0);
  QCOMPARE(int(choice.days), 5);
  app::ReadParamsDialog d2(file, choice);
  d2.RadioAll()->click();
  d2.Hours()->setValue(99);
  choice = d2.Choice();
  QVERIFY(choice.readAll);
  QCOMPARE(int(choice.hours), 0);  // kept from the last "Последних"
}

void TestDialogs::connectionOkStoresAndRefreshesPanel() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  ui.onDialog = [](QDialog& d) {
    auto* c = qobject_cast<app::ConnectionDialog*>(&d);
    if (!c) return int(QDialog::Rejected);
    c->Tcp()->setChecked(true);
    c->Address()->setText(QStringLiteral("192.168.5.6"));
    c->Port()->setValue(4001);
    c->Attempts()->setValue(7);
    c->Timing(2, 1)->setValue(900);
    c->accept();
    return c->result();
  };
  w.Setup().ConnectionSettingsCommand();
  QVERIFY(ui.shown.empty());
  QCOMPARE(w.PanelText(1), QStringLiteral("192.168.5.6:4001"));
  IniFile file(home.Path() / "StatVTK.ini");
  QCOMPARE(file.ReadInteger("Settings", "ConnectMode", -1), 2LL);
  QCOMPARE(file.ReadString("Settings", "SockIP", ""), std::string("192.168.5.6"));
  QCOMPARE(file.ReadInteger("Settings", "SockPort", -1), 4001LL);
  QCOMPARE(file.ReadInteger("Settings", "Reconnects", -1), 7LL);
  QCOMPARE(file.ReadInteger("Ethernet", "PacketConst", -1), 900LL);
  // The next job takes them.
  QCOMPARE(w.Connection().sockPort, 4001);
}

void TestDialogs::connectionStandardValuesAskFirst() {
  TestHome home("[Recommended]\nComB=30\nXPortR=4\n[Serial]\nByteConst=500\n[Settings]\nReconnects=9\n");
  ScriptedUi ui;
  IniFile file(home.Path() / "StatVTK.ini");
  ConnectionSettings s = LoadConnectionSettings(file);
  app::ConnectionDialog d(s, ui, {});
  StoreOnAccept(d, file);
  QCOMPARE(d.Timing(0, 0)->value(), 500);
  QPushButton* defaults = ButtonNamed(d, QStringLiteral("Стандартные значения"));
  QVERIFY(defaults);
  ui.answers = {false, true};
  defaults->click();  // "No": nothing changes
  QCOMPARE(ui.shown.back().text, QStringLiteral("Сбросить значения на стандартные?"));
  QCOMPARE(ui.shown.back().title, QStringLiteral("Stat61x"));
  QCOMPARE(d.Timing(0, 0)->value(), 500);
  QCOMPARE(d.Attempts()->value(), 9);
  defaults->click();  // "Yes"
  QCOMPARE(d.Timing(0, 0)->value(), 30);
  QCOMPARE(d.Timing(2, 2)->value(), 4);
  QCOMPARE(d.Timing(1, 1)->value(), 1500);
  QCOMPARE(d.Attempts()->value(), 3);
  // Nothing is written before OK.
  QCOMPARE(IniFile(home.Path() / "StatVTK.ini").ReadInteger("Serial", "ByteConst", -1), 500LL);
  d.Serial()->setChecked(true);
  d.SerialPort()->setEditText("/dev/ttyUSB3");
  d.accept();
  IniFile after(home.Path() / "StatVTK.ini");
  QCOMPARE(after.ReadInteger("Serial", "ByteConst", -1), 30LL);
  QCOMPARE(after.ReadString("Settings", "PortName", ""), std::string("/dev/ttyUSB3"));
}

void TestDialogs::connectionFailedWriteKeepsDialogOpen() {
  TestHome home;
  // A folder where the settings file should be: nothing can be written.
  std::filesystem::create_directory(home.Path() / "StatVTK.ini");
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  int result = -1;
  ui.onDialog = [&](QDialog& d) {
    result = AcceptTcp(d, QStringLiteral("127.0.0.1"));
    return int(QDialog::Rejected);  // the user gives up
  };
  w.Setup().ConnectionSettingsCommand();
  QCOMPARE(result, int(QDialog::Rejected));  // still open after OK
  QCOMPARE(ui.Count("warn"), 1);
  QVERIFY(ui.LastText().startsWith(QStringLiteral("Не удалось записать настройки: ")));
  // Told the one way as well: the log and status panel 0.
  QCOMPARE(w.PanelText(0), ui.LastText());
  QVERIFY(QString::fromStdString(w.Messages()->Log().Lines().back()).contains(ui.LastText()));
  QVERIFY(w.Connection().connectMode != ConnectMode::Tcp);  // nothing taken over
}

void TestDialogs::comPortIsTheComNumber_data() {
  QTest::addColumn<QString>("picked");
  QTest::addColumn<int>("comPort");
  QTest::newRow("second serial port") << SerialPortPathOf(2).c_str() << 2;
  QTest::newRow("fourth serial port") << SerialPortPathOf(4).c_str() << 4;
  // A port without a COM number keeps the stored number.
  QTest::newRow("USB adapter") << "/dev/ttyUSB0" << 7;
}

void TestDialogs::comPortIsTheComNumber() {
  QFETCH(QString, picked);
  QFETCH(int, comPort);
  TestHome home("[Settings]\nComPort=7\n");
  ScriptedUi ui;
  IniFile file(home.Path() / "StatVTK.ini");
  const ConnectionSettings s = LoadConnectionSettings(file);
  // The USB adapter listed first: the list's index is no port number.
  std::vector<SerialPortInfo> ports{{"/dev/ttyUSB0", "USB"}, {SerialPortPathOf(4), ""}, {SerialPortPathOf(2), ""}};
  app::ConnectionDialog d(s, ui, ports);
  StoreOnAccept(d, file);
  const int index = d.SerialPort()->findData(picked);
  QVERIFY(index >= 0);
  d.SerialPort()->setCurrentIndex(index);
  d.accept();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  IniFile after(home.Path() / "StatVTK.ini");
  QCOMPARE(int(after.ReadInteger("Settings", "ComPort", -1)), comPort);
  QCOMPARE(QString::fromStdString(after.ReadString("Settings", "PortName", "")), picked);
}

void TestDialogs::reportSettingsDefaultAndStored() {
  TestHome home;
  ScriptedUi ui;
  IniFile file(home.Path() / "StatVTK.ini");
  app::ReportSettings s = app::LoadReportSettings(file, home.Path());
  QCOMPARE(QString::fromStdString(s.folder.string()), QString::fromStdString((home.Path() / "Reports").string()));
  QVERIFY(s.openWhenDone);
  app::ReportSettingsDialog d(file, home.Path(), ui);
  const std::string chosen = (home.Path() / "out").string();
  std::filesystem::create_directory(chosen);
  ui.files.push_back(QString::fromStdString(chosen));
  ButtonNamed(d, QStringLiteral("Обзор..."))->click();
  QCOMPARE(d.Folder()->text(), QString::fromStdString(chosen));
  d.OpenWhenDone()->setChecked(false);
  d.accept();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  s = app::LoadReportSettings(IniFile(home.Path() / "StatVTK.ini"), home.Path());
  QCOMPARE(s.folder.string(), chosen);
  QVERIFY(!s.openWhenDone);
  // An empty folder is refused.
  app::ReportSettingsDialog d2(file, home.Path(), ui);
  d2.Folder()->clear();
  d2.accept();
  QCOMPARE(d2.result(), int(QDialog::Rejected));
  QCOMPARE(ui.Count("warn"), 1);
  // A folder that is not there, or a file in its place, is refused with the reason.
  d2.Folder()->setText(QString::fromStdString((home.Path() / "missing").string()));
  d2.accept();
  QCOMPARE(d2.result(), int(QDialog::Rejected));
  QVERIFY(ui.LastText().endsWith(QStringLiteral(" не существует.")));
  TestHome::WriteText(home.Path() / "plain", "x");
  d2.Folder()->setText(QString::fromStdString((home.Path() / "plain").string()));
  d2.accept();
  QCOMPARE(d2.result(), int(QDialog::Rejected));
  QCOMPARE(ui.Count("warn"), 3);
  QCOMPARE(app::LoadReportSettings(IniFile(home.Path() / "StatVTK.ini"), home.Path()).folder.string(), chosen);
  // The program's own Reports/ is made when it is chosen.
  d2.Folder()->setText(QString::fromStdString((home.Path() / "Reports").string()));
  d2.accept();
  QCOMPARE(d2.result(), int(QDialog::Accepted));
  QVERIFY(std::filesystem::is_directory(home.Path() / "Reports"));
}

void TestDialogs::aboutLinksGoThroughTheDesktop() {
  ScriptedUi ui;
  app::AboutDialog d(ui);
  QCOMPARE(d.Title()->text(), QStringLiteral("StatVTK ") + QString::fromUtf8(StatvtkVersion().data()));
  int links = 0;
  for (QLabel* l : d.findChildren<QLabel*>()) {
    if (!l->property("url").isValid()) continue;
    ++links;
    Q_EMIT l->linkActivated(l->property("url").toString());
  }
  QCOMPARE(links, 2);
  QCOMPARE(int(ui.opened.size()), 2);
  QVERIFY(ui.opened[0].scheme().startsWith("http"));
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
