// What a user expects of the desktop: Russian texts from Qt itself, child
// windows where they were left, logs that follow their newest line, values
// never cut in the status bar, chart labels that fit.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "app/log_window.hpp"
#include "app/russian_ui.hpp"
#include "app/traffic_window.hpp"
#include "app/volume_chart.hpp"
#include "app_test_util.hpp"

using namespace statvtk;
using namespace statvtk::apptest;

class TestExpectations : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void qtSpeaksRussian();
  void childWindowsReturnWhereTheyWere();
  void logsFollowTheirNewestLine();
  void statusPanelsNeverCutAValue();
  void chartLabelsThinOutWhenNarrow();
};

void TestExpectations::qtSpeaksRussian() {
  QVERIFY2(app::UseRussian(qApp), "Qt's Russian translations are not installed (qt6-translations-l10n, scripts/deps)");
  QCOMPARE(QLocale().language(), QLocale::Russian);
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
  QCOMPARE(QLocale().monthName(3), QStringLiteral("марта"));
}

void TestExpectations::childWindowsReturnWhereTheyWere() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  w.Files().NewFile();
  QMdiSubWindow* sub = w.Mdi()->activeSubWindow();
  sub->setGeometry(30, 40, 500, 410);
  sub->close();
  QTRY_VERIFY(StatWindows(w).empty());
  QVERIFY(home.Ini().find("StatWindowWidth=500") != std::string::npos);
  w.Files().NewFile();
  QCOMPARE(w.Mdi()->activeSubWindow()->geometry(), QRect(30, 40, 500, 410));
  // The message log's place is kept at the end, and taken at the next start.
  w.MessagesFrame()->setGeometry(5, 300, 420, 200);
  w.close();
  app::MainWindow again(ui, home.Path());
  QCOMPARE(again.MessagesFrame()->geometry(), QRect(5, 300, 420, 200));
}

void TestExpectations::logsFollowTheirNewestLine() {
  TestHome home;
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  w.MessagesFrame()->resize(400, 200);
  for (int i = 0; i < 200; ++i) w.Services().Log(QStringLiteral("строка %1").arg(i));
  QScrollBar* bar = w.Messages()->Memo()->verticalScrollBar();
  QVERIFY(bar->maximum() > 0);
  QCOMPARE(bar->value(), bar->maximum());
  // Scrolled up to read: a new line does not pull the view away.
  bar->setValue(10);
  w.Services().Log(QStringLiteral("ещё одна"));
  QCOMPARE(bar->value(), 10);
  bar->setValue(bar->maximum());
  w.Services().Log(QStringLiteral("и ещё"));
  QCOMPARE(bar->value(), bar->maximum());

  app::TrafficWindow t(ui, home.Path());
  t.resize(400, 150);
  t.show();
  app::TrafficEntry e;
  e.bytes = QByteArray::fromHex("55fe0112");
  for (int i = 0; i < 200; ++i) t.Add(e);
  QScrollBar* tb = t.View()->verticalScrollBar();
  QCOMPARE(tb->value(), tb->maximum());
  tb->setValue(3);
  t.Add(e);
  QCOMPARE(tb->value(), 3);
}

void TestExpectations::statusPanelsNeverCutAValue() {
  TestHome home("[Settings]\nConnectMode=0\nPortName=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n");
  ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  auto* panel = w.findChildren<QLabel*>().at(0);
  for (QLabel* l : w.findChildren<QLabel*>())
    if (l->text() == w.PanelText(1)) panel = l;
  QCOMPARE(panel->text(), w.PanelText(1));
  QCOMPARE(panel->toolTip(), panel->text());
  QVERIFY(panel->width() >= panel->fontMetrics().horizontalAdvance(panel->text()));
}

void TestExpectations::chartLabelsThinOutWhenNarrow() {
  VolumeSeries s;
  s.title = "test";
  for (int h = 0; h < 24; ++h)
    s.bars.push_back({QStringLiteral("%1:00").arg(h, 2, 10, QChar('0')).toStdString(), 1.0, 0.0});
  app::VolumeChart chart;
  chart.resize(1400, 300);
  chart.Show(s);
  chart.show();
  QCOMPARE(chart.ShownCategories(), chart.Categories());  // wide: every label
  chart.resize(300, 300);
  QTRY_VERIFY(chart.ShownCategories() != chart.Categories());
  const QStringList shown = chart.ShownCategories();
  QCOMPARE(shown.size(), 24);
  QCOMPARE(shown.front(), QStringLiteral("00:00"));
  int written = 0;
  for (int i = 0; i < shown.size(); ++i)
    if (shown[i] == chart.Categories()[i]) ++written;
  QVERIFY(written >= 2 && written < 24);
}

QTEST_MAIN(TestExpectations)
#include "test_expectations.moc"
