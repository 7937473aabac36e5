// The statistics window over simulated images of each model: its list and
// current values, date corrections through its controls,
// the chart following the selection, the hourly report (through the UI seam,
// busy while it runs), a failed report, CSV export and the events window.
#include <QApplication>
#include <QDateEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/path_text.hpp"
#include "app/events_window.hpp"
#include "app/stat_window.hpp"
#include "app/volume_chart.hpp"
#include "reports/csv_export.hpp"
#include "stats/volume_series.hpp"
#include "support/child_test_app.hpp"
#include "support/result_util.hpp"

using namespace childtest;

Q_DECLARE_METATYPE(statvtk::DeviceType)

namespace {

const CalendarDate kToday{2024, 6, 14};

QList<int> SelectedRows(const QListWidget* list) {
  QList<int> rows;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected()) rows << i;
  return rows;
}

QDate Q(const CalendarDate& d) { return QDate(d.year, d.month, d.day); }

std::string ReadText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void AddModels() {
  QTest::addColumn<DeviceType>("type");
  QTest::newRow("VTK-08.12") << DeviceType::dtVTK0812;
  QTest::newRow("VTK-08.14 C") << DeviceType::dtVTK0814C;
  QTest::newRow("VTK-08.14 CM") << DeviceType::dtVTK0814CM;
  QTest::newRow("LDN-08") << DeviceType::dtLDN08;
}

}  // namespace

class StatChildTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void FillsListAndCurrentValues_data() { AddModels(); }
  void FillsListAndCurrentValues() {
    QFETCH(DeviceType, type);
    TestApp app("fill");
    StatWindow w(type, app, kToday);
    QVERIFY(!w.Loaded());
    QCOMPARE(w.List()->count(), 0);
    const StatData data = SimImage(type);
    w.Load(data);
    QVERIFY(w.Loaded());
    QVERIFY(w.Data().area == data.area && w.Data().header == data.header);

    // The daily list: one line per listed day, in the model's order.
    const auto model = MakeStatModel(data);
    StatWindowModel truth(std::shared_ptr<const StatModel>(MakeStatModel(data)), kToday);
    QVERIFY(!truth.Items().empty());
    QCOMPARE(w.List()->count(), static_cast<int>(truth.Items().size()));
    for (int i = 0; i < w.List()->count(); ++i)
      QCOMPARE(w.List()->item(i)->text(), QString::fromStdString(truth.Items()[i].text));
    QCOMPARE(w.List()->selectionMode(), QAbstractItemView::ExtendedSelection);

    // It opens on the image's newest week: those days selected and charted.
    const QDate newest = Q(DateOfKey(truth.Items().back().key));
    QCOMPARE(w.EndPicker()->date(), newest);
    QCOMPARE(w.BeginPicker()->date(), newest.addDays(-6));
    int inWeek = 0;
    for (int i = 0; i < w.List()->count(); ++i) {
      const QDate d = Q(DateOfKey(truth.Items()[i].key));
      const bool week = d >= newest.addDays(-6);
      QCOMPARE(w.List()->item(i)->isSelected(), week);
      inWeek += week;
    }
    QVERIFY(inWeek > 0);
    QCOMPARE(w.Chart()->Forward().size(), inWeek);

    // The current values: the three common rows, LDN-08 adds its last periods.
    QStringList names;
    for (int r = 0; r < w.CurrentGrid()->rowCount(); ++r) names << w.CurrentGrid()->item(r, 0)->text();
    QStringList want{"Gтек, м3/ч", "V+, м3", "V-, м3"};
    if (type == DeviceType::dtLDN08)
      want << "Час."
           << "Сут."
           << "Мес.";
    QCOMPARE(names, want);
    const DeviceInfo info = model->GetDeviceInfo();
    QCOMPARE(w.CurrentGrid()->item(1, 1)->text(), QString::asprintf("%.4f", info.forwardTotalNow));
    QCOMPARE(w.CurrentGrid()->item(2, 1)->text(), QString::asprintf("%.4f", info.reverseTotalNow));
    QVERIFY(info.forwardTotalNow > 0);  // a real value, not an empty image
  }

  // An image of a wrong size is refused; one without a valid record (here:
  // the header as read, no archive record) opens, but says so instead of
  // showing current values or bars. Its events are still asked of the frame.
  void ImageOfAWrongSizeOrWithoutValidRecords() {
    TestApp app("novalid");
    StatWindow w(DeviceType::dtVTK0814C, app, kToday);
    StatData data = StatData::Blank(DeviceType::dtVTK0814C);
    data.area.resize(100);
    w.Load(data);
    QVERIFY(!w.Loaded());
    QCOMPARE(w.Data().area.size(), kArea0814Size);
    data = StatData::Blank(DeviceType::dtVTK0814C);
    data.header = SimImage(DeviceType::dtVTK0814C).header;
    w.Load(data);
    QVERIFY(w.Loaded());
    QCOMPARE(w.List()->count(), 0);
    QCOMPARE(w.CurrentGrid()->rowCount(), 1);
    QCOMPARE(w.CurrentGrid()->item(0, 0)->text(), QStringLiteral("В файле нет ни одной верной записи"));
    QCOMPARE(w.Chart()->Title(), QStringLiteral("В файле нет ни одной верной записи"));
    w.EventsButton()->click();
    QCOMPARE(app.eventsFor, std::vector<QWidget*>{&w});
  }

  void DatePickersCorrectTheEndDate() {
    TestApp app("dates");
    StatWindow w(DeviceType::dtVTK0812, app, kToday);
    w.Load(SimImage(DeviceType::dtVTK0812));
    const QDate begin = Q(DateOfKey(w.WindowModel().Items().front().key));
    w.BeginPicker()->setDate(begin);
    w.EndPicker()->setDate(begin.addDays(40));
    QCOMPARE(w.EndPicker()->date(), begin.addDays(31));  // at most 31 days after the begin date
    // Every listed day of the range is selected, none outside it.
    for (int i = 0; i < w.List()->count(); ++i) {
      const QDate d = Q(DateOfKey(w.WindowModel().Items()[i].key));
      QCOMPARE(w.List()->item(i)->isSelected(), d >= begin && d <= begin.addDays(31));
    }
    w.EndPicker()->setDate(begin.addDays(-5));
    QCOMPARE(w.EndPicker()->date(), begin);  // never before the begin date
    QCOMPARE(SelectedRows(w.List()), QList<int>{0});
  }

  void ChartFollowsTheSelection_data() { AddModels(); }
  void ChartFollowsTheSelection() {
    QFETCH(DeviceType, type);
    TestApp app("chart");
    StatWindow w(type, app, kToday);
    w.Load(SimImage(type));
    w.ModeButton(StatMode::Hourly)->click();
    const int n = w.List()->count();
    QVERIFY(n > 2);
    for (int row : {n - 2, n / 2}) {
      w.List()->item(row)->setSelected(true);
      const VolumeSeries want = VolumeSeriesOf(w.WindowModel());
      QCOMPARE(static_cast<int>(want.bars.size()), 24);
      QCOMPARE(w.Chart()->Categories().size(), 24);
      QCOMPARE(w.Chart()->Forward().size(), 24);
      double sum = 0;
      for (int h = 0; h < 24; ++h) {
        QCOMPARE(w.Chart()->Forward()[h], want.bars[h].forward);
        QCOMPARE(w.Chart()->Reverse()[h], want.bars[h].reverse);
        sum += want.bars[h].forward;
      }
      QVERIFY(sum > 0);  // the simulated instrument had flow on these days
      QVERIFY(w.Chart()->Title().contains(w.List()->item(row)->text()));
    }
    // Daily mode: one bar per selected day.
    w.ModeButton(StatMode::Daily)->click();
    w.List()->clearSelection();
    for (int i = 0; i < 5; ++i) w.List()->item(i)->setSelected(true);
    QCOMPARE(w.Chart()->Forward().size(), 5);
  }

  void HourlyReportThroughTheSeamWhileBusy() {
    TestApp app("report");
    StatWindow w(DeviceType::dtVTK0812, app, kToday);
    w.Load(SimImage(DeviceType::dtVTK0812));
    w.ModeButton(StatMode::Hourly)->click();
    const int row = w.List()->count() - 2;
    QListWidgetItem* item = w.List()->item(row);
    item->setSelected(true);
    bool closeRefused = false, busySeen = false;
    app.onProgressStep = [&](int) {
      busySeen = busySeen || w.Busy();
      if (w.Busy()) closeRefused = !w.close();
    };
    // A double click in hourly mode makes the report.
    Q_EMIT w.List()->itemDoubleClicked(item);
    QVERIFY(busySeen);
    QVERIFY(closeRefused);  // the window stays while its report runs
    QVERIFY(!w.Busy());
    const ReportOutcome& out = w.LastReport();
    QVERIFY2(out.has_value(), ReasonOf(out).c_str());
    QVERIFY(std::filesystem::exists(*out));
    QCOMPARE(out->parent_path(), app.report.folder);
    QVERIFY(out->filename().string().find("_hourly.xlsx") != std::string::npos);
    QCOMPARE(app.ui.opened.size(), std::size_t{1});
    QVERIFY(app::PathOf(app.ui.opened.front().toLocalFile()) == *out);
    QVERIFY(!app.progressMax.empty() && app.progressMax.front() == 24);
    QCOMPARE(*std::max_element(app.progressSteps.begin(), app.progressSteps.end()), 24);  // every hour stepped
    QVERIFY(app.progressFinished > 0);                                                    // the bar is hidden again
    QVERIFY(w.close());                                                                   // and now it may close
  }

  // Monthly mode makes no report; the daily one, made from the button, is
  // not opened when the setting says no.
  void DailyReportNotOpenedWhenTheSettingSaysNo() {
    TestApp app("noopen");
    app.report.openWhenDone = false;
    StatWindow w(DeviceType::dtLDN08, app, kToday);
    w.Load(SimImage(DeviceType::dtLDN08));
    w.ModeButton(StatMode::Monthly)->click();
    w.List()->item(0)->setSelected(true);
    w.MakeReport();
    QVERIFY(!w.LastReport().has_value());
    QVERIFY(!std::filesystem::exists(app.report.folder));
    w.ModeButton(StatMode::Daily)->click();
    w.BeginPicker()->setDate(Q(DateOfKey(w.WindowModel().Items().front().key)));
    w.EndPicker()->setDate(w.BeginPicker()->date().addDays(3));
    w.ReportButton()->click();
    QVERIFY2(w.LastReport().has_value(), ReasonOf(w.LastReport()).c_str());
    QVERIFY(w.LastReport()->filename().string().find("_daily.xlsx") != std::string::npos);
    QCOMPARE(app.ui.Count("External"), 0);
    QCOMPARE(app.ui.Count("Warn"), 0);
  }

  void FailedReportSaysSoAndLogsTheReason() {
    TestApp app("fail");
    // The report folder cannot be made: a plain file stands in its way.
    std::ofstream(app.Home() / "blocker") << "x";
    app.report.folder = app.Home() / "blocker" / "Reports";
    StatWindow w(DeviceType::dtVTK0814CM, app, kToday);
    w.Load(SimImage(DeviceType::dtVTK0814CM));
    w.ModeButton(StatMode::Hourly)->click();
    w.List()->item(0)->setSelected(true);
    w.MakeReport();
    QVERIFY(!w.LastReport().has_value());
    QCOMPARE(app.ui.Count("Warn"), 1);
    // The box says why, not only the log.
    QVERIFY(app.ui.calls.back().text.startsWith("Невозможно передать данные в Excel\nДополнительная информация: "));
    QVERIFY(app.ui.calls.back().text.contains("blocker"));
    QVERIFY(app.LogHas("Невозможно передать данные в Excel: "));
    QVERIFY(app.LogHas("blocker"));
    QVERIFY(!w.Busy());
    QCOMPARE(app.ui.Count("External"), 0);
  }

  void CsvOfListedMonthsWithoutAMonthlyArchiveIsOffered_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("monthlyCsv");
    QTest::newRow("VTK-08.12") << int(DeviceType::dtVTK0812) << false;
    QTest::newRow("VTK-08.14 C") << int(DeviceType::dtVTK0814C) << true;
  }
  void CsvOfListedMonthsWithoutAMonthlyArchiveIsOffered() {
    QFETCH(int, model);
    QFETCH(bool, monthlyCsv);
    TestApp app("csvmonths");
    StatWindow w(DeviceType(model), app, kToday);
    w.Load(SimImage(DeviceType(model)));
    QPushButton* csv = w.CsvButton();
    QCOMPARE(csv->text(), QStringLiteral("Экспорт CSV"));
    QVERIFY(csv->isEnabled());  // daily
    w.ModeButton(StatMode::Monthly)->click();
    QCOMPARE(csv->isEnabled(), monthlyCsv);
    w.ModeButton(StatMode::Daily)->click();
    QVERIFY(csv->isEnabled());
  }

  void CsvExportWritesTheModesArchive() {
    TestApp app("csv");
    StatWindow w(DeviceType::dtVTK0814C, app, kToday);
    const StatData data = SimImage(DeviceType::dtVTK0814C);
    w.Load(data);
    w.ModeButton(StatMode::Hourly)->click();
    const QString path = QString::fromStdString((app.Home() / "hours.csv").string());
    app.ui.saveAnswer = path;
    w.ExportCsv();
    QCOMPARE(app.ui.Count("Save"), 1);
    QVERIFY(app.ui.calls.back().text.endsWith("_hourly.csv"));
    const auto model = MakeStatModel(data);
    const QString point = QLocale().decimalPoint();
    const auto want = ExportArchiveCsv(*model, CsvArchive::Hourly, MakeCsvOptions(point == "," ? ',' : '.'));
    QVERIFY(want.has_value());
    QCOMPARE(ReadText(path), *want);

    // Cancelled dialog: nothing written; unwritable place: a warning naming it.
    app.ui.saveAnswer.clear();
    w.ExportCsv();
    app.ui.saveAnswer = QString::fromStdString((app.Home() / "missing" / "x.csv").string());
    w.ExportCsv();
    QCOMPARE(app.ui.Count("Warn"), 1);
    QVERIFY(app.ui.calls.back().text.contains("missing"));
  }

  void EventsWindowShowsEachModelsMarks_data() { AddModels(); }
  void EventsWindowShowsEachModelsMarks() {
    QFETCH(DeviceType, type);
    TestApp app("eventswin");
    const auto model = MakeStatModel(SimImage(type));
    const EventTable table = model->Events();
    QVERIFY(!table.rows.empty());
    EventsWindow ev(table, app);
    QCOMPARE(ev.windowTitle(), QString("Просмотр событий"));
    QCOMPARE(ev.Grid()->rowCount(), static_cast<int>(table.rows.size()));
    QCOMPARE(ev.Grid()->horizontalHeaderItem(0)->text(), QString("№ п/п"));
    QCOMPARE(ev.Grid()->horizontalHeaderItem(1)->text(), QString("Дата/время"));
    const int cols = ev.Grid()->columnCount();
    const int lastFlag = type == DeviceType::dtVTK0812 ? cols - 2 : cols - 1;  // VTK-08.12 ends with "HEX"
    const int firstFlag = type == DeviceType::dtLDN08 ? 3 : 2;                 // LDN-08: "V batt" first
    int set = 0;
    for (int r = 0; r < ev.Grid()->rowCount(); ++r) {
      QCOMPARE(ev.Grid()->item(r, 0)->text(), QString::number(r + 1));
      for (int c = firstFlag; c <= lastFlag; ++c) {
        const QString mark = ev.Grid()->item(r, c)->text();
        QVERIFY2(mark == "+" || mark == "-" || mark == "!", qPrintable(mark));
        set += mark != "-";
      }
    }
    QVERIFY(set > 0);  // some events carry flags
  }
};

QTEST_MAIN(StatChildTest)
#include "test_stat_child.moc"
