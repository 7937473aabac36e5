// The desktop program on a laptop's 1024×600 screen: the main window (first
// start and a larger stored size) fits the screen, the statistics window
// keeps its controls whole; one period across the mode switches; a file with
// records failing their checks says how many were left out; the run's
// messages kept in logs/; the help's links land on its headings.
#include <QDateEdit>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "app/help_window.hpp"
#include "app/log_window.hpp"
#include "app/stat_window.hpp"
#include "app/volume_chart.hpp"
#include "app_test_util.hpp"
#include "stats/stat_file.hpp"
#include "stats/values_table.hpp"
#include "support/child_test_app.hpp"
#include "support/temp_folder.hpp"

using namespace statvtk;
namespace at = statvtk::apptest;

namespace {

const QSize kScreen(1024, 600);

QString ListSelection(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected()) out << list->item(i)->text();
  return out.join(QLatin1Char(','));
}

QString ShortText(const QDate& d) { return d.toString(QStringLiteral("dd.MM.yy")); }

using statvtk::link_test::ReadAll;

}  // namespace

class TestSmallScreen : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void mainWindowFitsTheScreen_data();
  void mainWindowFitsTheScreen();
  void chartValuesKeepApartOnALowChart();
  void onePeriodAcrossModeSwitches();
  void recordsFailingTheirChecksAreCounted();
  void runMessagesAreKeptInLogs();
  void helpLinksLandOnHeadings();
};

void TestSmallScreen::initTestCase() {
  QScreen* screen = QGuiApplication::primaryScreen();
  QVERIFY(screen);
  QCOMPARE(screen->availableGeometry().size(), kScreen);
}

void TestSmallScreen::mainWindowFitsTheScreen_data() {
  QTest::addColumn<QString>("ini");
  QTest::newRow("first start") << "";
  QTest::newRow("stored 1366x740") << "[Windows]\nMainLeft=0\nMainTop=0\nMainWidth=1366\nMainHeight=740\n";
  QTest::newRow("stored off the screen") << "[Windows]\nMainLeft=900\nMainTop=500\nMainWidth=800\nMainHeight=500\n";
}

void TestSmallScreen::mainWindowFitsTheScreen() {
  QFETCH(QString, ini);
  at::TestHome home(ini.toStdString());
  at::ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const QRect area = w.screen()->availableGeometry();
  QVERIFY2(area.contains(w.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                            .arg(w.frameGeometry().x())
                                                            .arg(w.frameGeometry().y())
                                                            .arg(w.frameGeometry().width())
                                                            .arg(w.frameGeometry().height())));
  // A statistics window in it keeps its pickers and buttons whole (it scrolls instead).
  const auto file = home.Path() / "small.814";
  QVERIFY(SaveStatFile(file, childtest::SimImage(DeviceType::dtVTK0814C)).has_value());
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  auto* stat = dynamic_cast<app::StatWindow*>(at::StatWindows(w).front());
  QVERIFY(stat);
  QVERIFY(w.Children().Visible().contains(stat->parentWidget()->geometry()));
  for (QWidget* c : std::initializer_list<QWidget*>{stat->BeginPicker(), stat->EndPicker(), stat->ReportButton(),
                                                    stat->EventsButton(), stat->CsvButton()})
    QVERIFY2(c->height() >= c->sizeHint().height(), qPrintable(c->objectName() + QString::number(c->height())));
}

// The chart at its least height (a small screen) writes fewer values on its
// axis rather than letting them overlap; a tall one writes all six.
void TestSmallScreen::chartValuesKeepApartOnALowChart() {
  app::VolumeChart chart;
  VolumeSeries series;
  series.title = "Объемы по часам 14.06.24";
  series.note = "Записей без приращения: 1";
  for (int h = 0; h < 24; ++h) series.bars.push_back({std::to_string(h), 10.0 * h, 0.5, 1, 0});
  chart.Show(series);
  const int line = QFontMetrics(chart.font()).height();
  chart.resize(500, chart.minimumHeight());
  QList<int> ys = chart.ValueTickYs();
  QVERIFY(ys.size() >= 2);
  for (int i = 1; i < ys.size(); ++i) QVERIFY2(ys[i - 1] - ys[i] >= line, qPrintable(QString::number(ys.size())));
  chart.resize(500, 500);
  QCOMPARE(chart.ValueTickYs().size(), 6);
}

// The sequence of a site visit: hourly, a click on a day, monthly, daily,
// hourly again. The pickers, the list, the chart, the table and the report
// all keep that day (and in daily mode the period from it).
void TestSmallScreen::onePeriodAcrossModeSwitches() {
  childtest::TestApp app("period");
  app.report.openWhenDone = false;
  app::StatWindow w(DeviceType::dtVTK0814C, app, CalendarDate{2024, 6, 14});
  w.Load(childtest::SimImage(DeviceType::dtVTK0814C));
  const QDate end = w.EndPicker()->date();  // the newest week is shown at first
  w.ModeButton(StatMode::Hourly)->click();
  const int row = w.List()->count() - 8;
  QVERIFY(row > 0);
  const QString day = w.List()->item(row)->text();
  w.List()->item(row)->setSelected(true);
  QCOMPARE(ShortText(w.BeginPicker()->date()), day);
  // Hourly: one day, so no end date.
  QCOMPARE(w.List()->selectionMode(), QAbstractItemView::SingleSelection);
  QVERIFY(!w.EndPicker()->isEnabled());

  w.ModeButton(StatMode::Monthly)->click();
  QVERIFY(w.EndPicker()->isEnabled());
  QCOMPARE(w.List()->item(0)->text().size(), 5);  // "MM.YY"
  w.ModeButton(StatMode::Daily)->click();
  QCOMPARE(ShortText(w.BeginPicker()->date()), day);
  QCOMPARE(w.EndPicker()->date(), end);
  const QStringList selected = ListSelection(w.List()).split(QLatin1Char(','));
  QCOMPARE(selected.front(), day);
  QCOMPARE(selected.back(), ShortText(end));
  QCOMPARE(w.Chart()->Forward().size(), selected.size());
  QCOMPARE(w.ValuesGrid()->item(0, 0)->text(), day);
  QCOMPARE(w.WindowModel().Mode(), StatMode::Daily);

  w.ModeButton(StatMode::Hourly)->click();
  QCOMPARE(ShortText(w.BeginPicker()->date()), day);
  QCOMPARE(ListSelection(w.List()), day);
  QVERIFY(w.Chart()->Title().contains(day));
  QCOMPARE(w.ValuesGrid()->item(0, 0)->text(), QStringLiteral("00:00"));
  w.MakeReport();
  QVERIFY(w.LastReport().has_value());
  const QDate d = QDate::fromString(day, QStringLiteral("dd.MM.yy")).addYears(100);
  QVERIFY2(QString::fromStdString(w.LastReport()->filename().string()).contains(d.toString(Qt::ISODate)),
           w.LastReport()->filename().string().c_str());
}

void TestSmallScreen::recordsFailingTheirChecksAreCounted() {
  at::TestHome home;
  at::ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  // The simulated instrument has one hourly and one daily record with a bad
  // checksum; 24 hourly and 5 daily ones more are spoilt here.
  StatData data = childtest::SimImage(DeviceType::dtVTK0814C);
  const auto model = MakeStatModel(data);
  const auto spoil = [&](ArchiveKind kind, int count) {
    const auto index = model->Index(kind);
    for (std::size_t i = 0; i < index.size() && count > 0; i += 3)
      if (model->EntryValid(kind, i)) data.area[index[i].Pos + 9] ^= 0x40, --count;
  };
  spoil(ArchiveKind::Hourly, 24);
  spoil(ArchiveKind::Daily, 5);
  const auto file = home.Path() / "damaged.814";
  QVERIFY(SaveStatFile(file, data).has_value());
  QVERIFY(w.Files().OpenStatFile(QString::fromStdString(file.string()), ExtensionRule::Exact));
  auto* stat = dynamic_cast<app::StatWindow*>(at::StatWindows(w).front());
  QVERIFY(stat);
  const QString counts = QStringLiteral("часовых 25, суточных 6.");
  QVERIFY2(w.PanelText(0).contains(counts), qPrintable(w.PanelText(0)));
  QVERIFY(w.PanelText(0).contains(QStringLiteral("неверной контрольной суммой")));
  QVERIFY(stat->LeftOutLine()->text().endsWith(counts));
  QVERIFY(!stat->LeftOutLine()->isHidden());
}

void TestSmallScreen::runMessagesAreKeptInLogs() {
  at::TestHome home;
  at::ScriptedUi ui;
  std::filesystem::path file;
  {
    app::MainWindow w(ui, home.Path());
    w.Services().Log(QStringLiteral("первое сообщение"));
    w.Messages()->Clear();  // clearing the window keeps the run's file
    w.Services().Log(QStringLiteral("второе"));
    file = w.Messages()->RunFile();
  }
  QCOMPARE(file.parent_path(), home.Path() / "logs");
  QVERIFY(QString::fromStdString(file.filename().string())
              .contains(QRegularExpression(QStringLiteral("^statvtk-\\d{4}-\\d\\d-\\d\\d@\\d\\d-\\d\\d-\\d\\d"))));
  const std::string text = ReadAll(file);
  QVERIFY2(text.find("]  первое сообщение\n") != std::string::npos, text.c_str());
  QVERIFY(text.find("]  второе\n") != std::string::npos);
}

void TestSmallScreen::helpLinksLandOnHeadings() {
  QVERIFY2(!app::UserGuidePath().empty(), "docs/user-guide.md is not found");
  at::TestHome home;
  at::ScriptedUi ui;
  app::MainWindow w(ui, home.Path());
  w.Setup().ShowHelp();
  app::HelpWindow* help = w.findChild<app::HelpWindow*>();
  QVERIFY(help);
  const QStringList anchors = help->Anchors();
  const QString guide = QString::fromStdString(ReadAll(app::UserGuidePath()));
  int links = 0;
  for (const auto& m : QRegularExpression(QStringLiteral("\\]\\(#([^)]+)\\)")).globalMatch(guide)) {
    ++links;
    QVERIFY2(anchors.contains(m.captured(1)), qPrintable(m.captured(1)));
  }
  QVERIFY(links >= 10);  // the contents list and the cross-references
  // No table row is left as text (a row cut off from its table by a paragraph).
  QVERIFY(!help->Browser()->toPlainText().contains(QStringLiteral("| `logs/`")));
  w.Setup().ShowHelp();  // the same window again
  QCOMPARE(w.findChildren<app::HelpWindow*>().size(), 1);
  QVERIFY(ui.shown.empty());
}

int main(int argc, char** argv) {
  // A 1024×600 screen for the offscreen platform, described in a temporary
  // folder of this run inside the working directory and named relative to it:
  // a drive letter's colon would end the option, and under Windows the system
  // temporary folder may lie on another drive than the working directory.
  QTemporaryDir folder(QDir::current().filePath(QStringLiteral("small-screen-XXXXXX")));
  if (!folder.isValid()) return 2;
  QFile config(folder.filePath(QStringLiteral("small-screen.json")));
  if (!config.open(QIODevice::WriteOnly)) return 2;
  config.write(QStringLiteral("{\"screens\": [{\"name\": \"small\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                              "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                   .arg(kScreen.width())
                   .arg(kScreen.height())
                   .toUtf8());
  config.close();
  const QString relative = QDir::current().relativeFilePath(config.fileName());
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + relative).toUtf8());
  QApplication a(argc, argv);
  TestSmallScreen t;
  return QTest::qExec(&t, argc, argv);
}

#include "test_small_screen.moc"
