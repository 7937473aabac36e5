// "Поиск приборов": the table fills as the instruments on a simulated line
// answer, the chosen entries leave through signals, and Stop ends a search.
#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "app/scan_dialog.hpp"
#include "sim_line.hpp"

using namespace statvtk;
using namespace statvtk::app;

namespace {

// Instruments at addresses 2 (VTK-08.14 C) and 4 (LDN-08) on loopback TCP.
struct Line : apptest::SimLine {
  Line() : SimLine({{DeviceType::dtVTK0814C, 2}, {DeviceType::dtLDN08, 4}}, 9) {}
  ConnectionSettings Settings() const {
    ConnectionSettings s;
    s.connectMode = ConnectMode::Tcp;
    s.sockIp = "127.0.0.1";
    s.sockPort = server->Port();
    s.ethernet = {100, 100, 3};
    return s;
  }
};

}  // namespace

class TestScanDialog : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void fillsTheTableAndHandsOnTheChosen();
  void stopEndsTheSearch();
};

void TestScanDialog::fillsTheTableAndHandsOnTheChosen() {
  Line line;
  QVERIFY(line.server);
  ScanDialog d(line.Settings());
  d.FirstAddress()->setValue(1);
  d.LastAddress()->setValue(5);
  QSignalSpy finished(&d, &ScanDialog::SearchFinished);
  QTest::mouseClick(d.StartButton(), Qt::LeftButton);
  QVERIFY(!d.StartButton()->isEnabled());
  QVERIFY(d.StopButton()->isEnabled());
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
  QCOMPARE(finished.at(0).at(0).toInt(), 2);
  QTableWidget* t = d.Table();
  QCOMPARE(t->rowCount(), 2);
  QCOMPARE(t->item(0, 0)->text(), QString("2"));
  QCOMPARE(t->item(0, 2)->text(), QString("VTK-08.14 C"));
  QCOMPARE(t->item(0, 3)->text(), QString::fromStdString(line.instruments[0]->IdentificationText()));
  QCOMPARE(t->item(1, 0)->text(), QString("4"));
  QCOMPARE(t->item(1, 2)->text(), QString("LDN-08"));
  QVERIFY(d.StartButton()->isEnabled());
  QVERIFY(!d.StopButton()->isEnabled());
  QCOMPARE(d.Progress()->value(), d.Progress()->maximum());

  // The chosen entries leave through signals: one to use, all to read.
  QVERIFY(!d.UseButton()->isEnabled());
  QSignalSpy use(&d, &ScanDialog::UseChosen);
  QSignalSpy read(&d, &ScanDialog::ReadChosen);
  d.Table()->selectRow(1);
  QVERIFY(d.UseButton()->isEnabled());
  QTest::mouseClick(d.UseButton(), Qt::LeftButton);
  QCOMPARE(use.count(), 1);
  const auto entry = use.at(0).at(0).value<ScanEntry>();
  QCOMPARE(entry.address, 4u);
  QCOMPARE(entry.type, DeviceType::dtLDN08);

  d.Table()->selectAll();
  QTest::mouseClick(d.ReadButton(), Qt::LeftButton);
  QCOMPARE(read.count(), 1);
  const auto chosen = read.at(0).at(0).value<QList<ScanEntry>>();
  QCOMPARE(chosen.size(), 2);
  QCOMPARE(chosen[0].address, 2u);
  QCOMPARE(chosen[1].address, 4u);
}

void TestScanDialog::stopEndsTheSearch() {
  Line line;
  ConnectionSettings s = line.Settings();
  s.ethernet = {100, 300, 3};
  ScanDialog d(s);
  d.FirstAddress()->setValue(0);
  d.LastAddress()->setValue(255);
  QSignalSpy finished(&d, &ScanDialog::SearchFinished);
  d.StartSearch();
  QTRY_VERIFY_WITH_TIMEOUT(d.Progress()->value() >= 3, 20000);
  QTest::mouseClick(d.StopButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
  QVERIFY(d.Progress()->maximum() == 256);
  QVERIFY(d.Table()->rowCount() <= 2);
  QVERIFY(d.StartButton()->isEnabled());
}

QTEST_MAIN(TestScanDialog)
#include "test_scan_dialog.moc"
