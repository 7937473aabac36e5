// "Нештатные ситуации" over a made-up VTK-08.14 C history of a week: a
// Gmin flag for five hours, a power cut between two events and three hours
// without records; the list, the month's summary and a click that selects
// exactly the flag's hours in the statistics window.
#include <QListWidget>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <bit>

#include "app/situation_timeline.hpp"
#include "app/situations_window.hpp"
#include "app/stat_window.hpp"
#include "base/device_values.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"
#include "sim/expected_dump.hpp"
#include "stats/status_names.hpp"
#include "support/child_test_app.hpp"

using namespace childtest;

namespace {

constexpr DeviceType kType = DeviceType::dtVTK0814C;

std::uint32_t At(int day, int hour) { return static_cast<std::uint32_t>(CivilToDeviceTime(2024, 6, day, hour)); }

QString HourText(std::uint32_t t) {
  const CivilTime c = DeviceTimeToCivil(t);
  return QString::asprintf("%02d.%02d.%02d %02d:00", c.day, c.month, c.year % 100, c.hour);
}

struct Made {
  StatData data;
  std::size_t held = 0;           // hourly records left
  std::uint32_t off = 0, on = 0;  // the power cut's events
};

// Every flag and event mark cleared; then Gmin on 13.06 08:00..12:00, the
// records of 12.06 03:00..05:00 gone, and the first two events a power-off
// and a power-on.
Made MakeImage() {
  sim::History h =
      sim::GenerateHistory(kType, 4242, At(14, 15) + 42 * 60 + 10, sim::MemoryShapes{.historyHours = 7 * 24});
  std::erase_if(h.hourly,
                [](const sim::ArchiveRecord& r) { return r.periodStart >= At(12, 3) && r.periodStart <= At(12, 5); });
  for (sim::ArchiveRecord& r : h.hourly) {
    const bool gmin = r.periodStart >= At(13, 8) && r.periodStart <= At(13, 12);
    r.causes = gmin ? std::uint16_t{sim::kGmin} : std::uint16_t{0};
    r.flags = sim::StoredFlags(kType, r.causes);
  }
  Made m;
  for (sim::EventRecord& e : h.events) {
    e.kinds = 0;
    if (m.off == 0) {
      e.kinds = sim::kEvPowerOff;
      m.off = e.time;
    } else if (m.off != 0 && m.on == 0) {
      e.kinds = sim::kEvPowerOn;
      m.on = e.time;
    }
    e.flags = sim::StoredEventFlags(kType, e.kinds);
  }
  m.held = static_cast<std::size_t>(std::count_if(
      h.hourly.begin(), h.hourly.end(), [](const sim::ArchiveRecord& r) { return !r.duplicate && !r.invalid; }));
  m.data = sim::ExpectedDump(kType, sim::BuildMemories(h));
  return m;
}

QString GminWord() {
  const int bit = std::countr_zero(static_cast<unsigned>(sim::StoredFlags(kType, sim::kGmin)));
  return QString::fromStdString(std::string(StatusBitNames(kType)[static_cast<std::size_t>(bit)]));
}

QStringList Row(const QTableWidget* t, int r) {
  QStringList out;
  for (int c = 0; c < t->columnCount(); ++c) out << (t->item(r, c) ? t->item(r, c)->text() : QString());
  return out;
}

int Column(const QTableWidget* t, const QString& heading) {
  for (int c = 0; c < t->columnCount(); ++c)
    if (t->horizontalHeaderItem(c)->text() == heading) return c;
  return -1;
}

}  // namespace

class SituationsWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void ListsTheFlagAndThePowerCutAndSumsTheMonth() {
    const Made made = MakeImage();
    QVERIFY(made.off != 0 && made.on != 0);
    TestApp app("list");
    StatWindow stat(kType, app, CalendarDate{2024, 6, 14});
    stat.Load(made.data);
    SituationsWindow w(stat, app);

    // The flags' and the events' rows (the volume rules find what the simulated flow makes).
    QList<QStringList> rows;
    for (int r = 0; r < w.List()->rowCount(); ++r)
      if (const QStringList row = Row(w.List(), r); row[5] != QStringLiteral("правило")) rows << row;
    const QString cutHours = QString::number((made.on / 3600 - made.off / 3600) + 1);
    const QList<QStringList> want{
        {GminWord(), "13.06.24 08:00", "13.06.24 12:00", "5", "", "флаги"},
        {"Отключение питания", HourText(made.off), HourText(made.on), cutHours, "", "события"},
    };
    auto sorted = [](QList<QStringList> l) {
      std::sort(l.begin(), l.end(), [](const QStringList& a, const QStringList& b) { return a[1] < b[1]; });
      return l;
    };
    QCOMPARE(sorted(rows), sorted(want));
    QCOMPARE(w.Timeline()->Bars().size(), static_cast<std::size_t>(w.List()->rowCount()));

    // One month: every hour looked at held but the three taken out, Gmin on five.
    const QTableWidget* months = w.Months();
    QCOMPARE(months->rowCount(), 1);
    QCOMPARE(months->item(0, 0)->text(), QStringLiteral("06.2024"));
    QCOMPARE(months->item(0, Column(months, "С данными"))->text(), QString::number(made.held));
    QCOMPARE(months->item(0, Column(months, "Без данных"))->text(), QStringLiteral("3"));
    QCOMPARE(months->item(0, Column(months, "Часов"))->text(), QString::number(made.held + 3));
    QCOMPARE(months->item(0, Column(months, GminWord() + ", ч"))->text(), QStringLiteral("5"));
    QVERIFY(Column(months, "Tраб, ч") > 0);
  }

  void AClickSelectsTheSituationsHoursInTheStatisticsWindow() {
    const Made made = MakeImage();
    TestApp app("click");
    StatWindow stat(kType, app, CalendarDate{2024, 6, 14});
    stat.Load(made.data);
    SituationsWindow w(stat, app);
    w.show();
    int row = -1;
    for (int r = 0; r < w.List()->rowCount(); ++r)
      if (w.List()->item(r, 5)->text() == QStringLiteral("флаги")) row = r;
    QVERIFY(row >= 0);
    QTableWidget* list = w.List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 1)).center());

    QVERIFY(stat.ModeButton(StatMode::Hourly)->isChecked());
    QStringList days;
    for (QListWidgetItem* item : stat.List()->selectedItems()) days << item->text();
    QCOMPARE(days, QStringList{"13.06.24"});
    QStringList hours;
    const QTableWidget* values = stat.ValuesGrid();
    for (const QModelIndex& i : values->selectionModel()->selectedRows()) hours << values->item(i.row(), 0)->text();
    std::sort(hours.begin(), hours.end());
    QCOMPARE(hours, (QStringList{"08:00", "09:00", "10:00", "11:00", "12:00"}));
  }
};

QTEST_MAIN(SituationsWindowTest)
#include "test_situations_window.moc"
