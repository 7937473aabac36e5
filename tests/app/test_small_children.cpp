// The current-readings window through refreshes, a failed refresh (its
// values in grey) and the recovery; its poll interval; the technical
// information window's grid, its values never cut.
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstring>

#include "app/current_window.hpp"
#include "app/tech_info_window.hpp"
#include "support/child_test_app.hpp"

using namespace childtest;

namespace {

using Block = std::array<std::uint8_t, 1024>;

// A VTK-08.12 block with V+ (6-byte big-endian millionths of m3 at 16) and the
// flow (big-endian float at 436).
Block Block0812(std::uint64_t vPlusMicro, float flow) {
  Block b{};
  for (int i = 0; i < 6; ++i) b[16 + i] = static_cast<std::uint8_t>(vPlusMicro >> (8 * (5 - i)));
  std::uint32_t bits;
  std::memcpy(&bits, &flow, 4);
  for (int i = 0; i < 4; ++i) b[436 + i] = static_cast<std::uint8_t>(bits >> (8 * (3 - i)));
  return b;
}

}  // namespace

class SmallChildrenTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void RefreshFailureAndRecovery() {
    TestApp app("current");
    CurrentWindow w(app);
    QCOMPARE(w.IntervalField()->value(), 60);
    QCOMPARE(w.Timer()->interval(), 60000);
    QVERIFY(!w.Timer()->isActive());

    // The first reading opens the window and starts the timer.
    w.ShowCurrent(Block0812(123456789, 2.5f), DeviceType::dtVTK0812, "00012345");
    QCOMPARE(w.windowTitle(), QString("Текущие показания - прибор № 00012345"));
    QVERIFY(w.Value("LabelVp"));
    QCOMPARE(w.Value("LabelVp")->text(), QString("123.4568 м3"));
    QCOMPARE(w.Value("LabelG")->text(), QString("2.5000 м3/ч"));
    QVERIFY(w.Timer()->isActive());

    // A tick asks the frame for a refresh of this window and waits for it.
    w.Tick();
    QCOMPARE(app.refreshRequests, 1);
    QCOMPARE(app.refreshTarget, static_cast<CurrentChild*>(&w));
    QVERIFY(!w.Timer()->isActive());

    // The refresh fails: the failure and its time are shown, the old values
    // stay in grey, and the timer runs again for the next period.
    QVERIFY(!w.Stale());
    QVERIFY(w.Value("LabelVp")->styleSheet().isEmpty());
    w.RefreshFailed("Нет ответа от прибора");
    QVERIFY2(w.StateLine()->text().contains("Показаны значения на "), qPrintable(w.StateLine()->text()));
    QVERIFY(w.StateLine()->text().contains("Нет ответа от прибора"));
    QVERIFY(w.StateLine()->text().contains(QRegularExpression("\\d\\d:\\d\\d:\\d\\d")));
    QCOMPARE(w.Value("LabelVp")->text(), QString("123.4568 м3"));
    QVERIFY(w.Stale());
    QVERIFY(w.Value("LabelVp")->styleSheet().contains(QStringLiteral("#808080")));
    QVERIFY(w.Timer()->isActive());

    // The next period succeeds: new values, the failure gone.
    w.Tick();
    QCOMPARE(app.refreshRequests, 2);
    w.ShowCurrent(Block0812(223456789, 3.0f), DeviceType::dtVTK0812, "00012345");
    QCOMPARE(w.Value("LabelVp")->text(), QString("223.4568 м3"));
    QVERIFY(!w.StateLine()->text().contains("Нет ответа"));
    QVERIFY(!w.Stale());
    QVERIFY(w.Value("LabelVp")->styleSheet().isEmpty());  // the colour back
    QVERIFY(w.Timer()->isActive());
  }

  // Another job holds the link: the next period tries again, and a reason
  // the frame gives is shown.
  void RefusedRefreshRetriesAtTheNextPeriod() {
    TestApp app("refused");
    app.refreshAccepted = false;
    CurrentWindow w(app);
    w.ShowCurrent(Block0812(1, 0), DeviceType::dtVTK0812, "1");
    w.Tick();
    QCOMPARE(app.refreshRequests, 1);
    QVERIFY(w.Timer()->isActive());
    app.onRefresh = [](CurrentChild& c) { c.RefreshFailed("Сетевой адрес больше 255 без M-Bus"); };
    w.Tick();
    QVERIFY(w.StateLine()->text().contains("больше 255"));
    QVERIFY(w.Timer()->isActive());
  }

  void TimerFiresAndIntervalFollowsTheField() {
    TestApp app("interval");
    CurrentWindow w(app);
    w.IntervalField()->setValue(5);  // below the range: clamped to 10
    QCOMPARE(w.IntervalField()->value(), 10);
    QCOMPARE(w.Timer()->interval(), 10000);
    w.IntervalField()->setValue(4000);
    QCOMPARE(w.Timer()->interval(), 3600000);
    // A real tick of the timer asks for the refresh.
    w.ShowCurrent(Block0812(1, 0), DeviceType::dtVTK0812, "1");
    w.Timer()->setInterval(20);
    QTRY_COMPARE_WITH_TIMEOUT(app.refreshRequests, 1, 5000);
  }

  void ModelChangeRebuildsTheLabels() {
    TestApp app("relabel");
    CurrentWindow w(app);
    w.ShowCurrent(Block0812(1, 0), DeviceType::dtVTK0812, "1");
    QVERIFY(!w.Value("LabelMp"));
    Block b{};
    b[352] = 0;  // status: all clear
    w.ShowCurrent(b, DeviceType::dtVTK0814C, "2");
    QVERIFY(w.Value("LabelMp"));
    QCOMPARE(w.Value("Label_Errors")->text(), QString("Система в норме"));
  }

  void ClosingDeletesTheWindow() {
    TestApp app("close");
    auto* w = new CurrentWindow(app);
    w->ShowCurrent(Block0812(1, 0), DeviceType::dtVTK0812, "1");
    QPointer<CurrentWindow> alive(w);
    QVERIFY(w->close());
    QTRY_VERIFY(alive.isNull());  // deleted on close
  }

  void TechInfoGridOfAnCmInstrument() {
    TestApp app("tech");
    std::array<std::uint8_t, 1024> h{};
    std::memcpy(&h[512], "12345678", 8);
    h[520] = 3;    // Ду 40 in the CM tables
    h[542] = 50;   // Fmax 1000 Hz
    h[560] = 100;  // Gmax = 100 hundredths of the nominal flow
    TechInfoWindow w(h, DeviceType::dtVTK0814CM, app);
    QCOMPARE(w.windowTitle(), QString("Техническая информация - прибор № 12345678"));
    // At least the classic widths; wider where a text needs it, never cut.
    QTableWidget* g = w.Grid();
    QVERIFY(g->columnWidth(0) >= 80);
    QVERIFY(g->columnWidth(1) >= 180);
    QCOMPARE(g->rowHeight(0), 18);
    for (int r = 0; r < g->rowCount(); ++r)
      for (int c = 0; c < 2; ++c) {
        QTableWidgetItem* item = g->item(r, c);
        if (!item) continue;
        QVERIFY2(g->columnWidth(c) >= g->fontMetrics().horizontalAdvance(item->text()), qPrintable(item->text()));
        QCOMPARE(item->toolTip(), item->text());
      }
    auto value = [&](const QString& label) {
      for (int r = 0; r < w.Grid()->rowCount(); ++r)
        if (w.Grid()->item(r, 0)->text() == label) return w.Grid()->item(r, 1)->text();
      return QString();
    };
    QCOMPARE(value("Тип"), QString("VTK-08.14SM \\ MERIDA.08.14"));
    QCOMPARE(value("Ду, мм"), QString("40.0"));
    QCOMPARE(value("Gmax, м3/ч"), QString("40.0"));
    QCOMPARE(value("Fmax, Гц"), QString("1000.0"));
    QVERIFY(w.TablesNote()->text().contains("CM"));
    TechInfoWindow plain(h, DeviceType::dtVTK0812, app);
    QVERIFY(plain.TablesNote()->text().isEmpty());
  }
};

QTEST_MAIN(SmallChildrenTest)
#include "test_small_children.moc"
