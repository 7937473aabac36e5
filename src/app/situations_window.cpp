#include "app/situations_window.hpp"

#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <tuple>

#include "app/app_services.hpp"
#include "app/child_windows.hpp"
#include "app/hour_span.hpp"
#include "app/situation_timeline.hpp"
#include "base/ini_file.hpp"
#include "front/situation_texts.hpp"

namespace statvtk::app {

namespace {

constexpr long long kHour = 3600;
const char* kSection = "Situations";

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The rules' settings of StatVTK.ini [Situations]; a value the analysis
// refuses is logged and its default kept.
analysis::Settings SettingsOf(IniFile& ini, AppServices& app) {
  analysis::Settings s;
  for (const std::string_view key : analysis::SettingKeys()) {
    const std::string k(key);
    if (!ini.ValueExists(kSection, k)) continue;
    if (const Result<void> set = analysis::SetSetting(s, k, ini.ReadString(kSection, k, "")); !set)
      app.Log(QStringLiteral("Нештатные ситуации: StatVTK.ini [Situations] %1; взято значение по умолчанию")
                  .arg(Q(set.error().reason)));
  }
  return s;
}

QString SettingsText(const analysis::Settings& s) {
  return QStringLiteral(
             "Правила: NightFlow=%1 м³, NightsInRow=%2, ContinuousHours=%3, NoFlowDays=%4, "
             "ReverseLimit=%5 м³, SpikeFactor=%6")
      .arg(s.nightFlow)
      .arg(s.nightsInRow)
      .arg(s.continuousHours)
      .arg(s.noFlowDays)
      .arg(s.reverseLimit)
      .arg(s.spikeFactor);
}

QTableWidget* MakeTable(QWidget* parent) {
  auto* t = new QTableWidget(parent);
  t->verticalHeader()->hide();
  t->verticalHeader()->setDefaultSectionSize(20);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  return t;
}

QTableWidgetItem* Cell(const QString& text, bool number = false) {
  auto* item = new QTableWidgetItem(text);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// The period of the timeline: the hourly archive's, as the months' summary
// looks at it; without hourly records the daily archive's, widened to every
// situation.
std::pair<long long, long long> SpanOf(const analysis::MeterRecords& m, const analysis::Analysis& a) {
  if (!m.hourly.empty()) return {m.hourly.front().start, m.hourly.back().start};
  std::vector<long long> starts, ends;
  if (!m.daily.empty()) starts.push_back(m.daily.front().start), ends.push_back(m.daily.back().start + 23 * kHour);
  for (const analysis::Situation& s : a.situations) {
    starts.push_back(s.from);
    ends.push_back(s.to.value_or(s.from));
  }
  if (starts.empty()) return {0, 0};
  return {*std::min_element(starts.begin(), starts.end()), *std::max_element(ends.begin(), ends.end())};
}

}  // namespace

SituationsWindow::SituationsWindow(StatChild& stat, AppServices& app, QWidget* parent)
    : QWidget(parent), app_(app), stat_(&stat), statWidget_(stat.Widget()) {
  setAttribute(Qt::WA_DeleteOnClose);
  QString of = stat.Widget()->windowTitle();
  if (of.startsWith(QStringLiteral("Статистика - "))) of = of.mid(13);
  setWindowTitle(of.isEmpty() ? QStringLiteral("Нештатные ситуации") : QStringLiteral("Нештатные ситуации - ") + of);
  settings_ = SettingsOf(app.Settings(), app);
  const auto model = MakeStatModel(stat.Data());
  const analysis::MeterRecords records = model ? analysis::MeterRecordsOf(*model) : analysis::MeterRecords{};
  found_ = analysis::Analyse(records, settings_);
  std::tie(first_, last_) = SpanOf(records, found_);

  rules_ = new QLabel(SettingsText(settings_), this);
  rules_->setToolTip(QStringLiteral("Настройки правил: раздел [Situations] файла StatVTK.ini"));
  rules_->setWordWrap(true);
  auto* split = new QSplitter(Qt::Vertical, this);
  list_ = MakeTable(split);
  timeline_ = new SituationTimeline(split);
  months_ = MakeTable(split);
  months_->setSelectionMode(QAbstractItemView::NoSelection);
  split->addWidget(list_);
  split->addWidget(timeline_);
  split->addWidget(months_);
  split->setChildrenCollapsible(false);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 0);
  split->setStretchFactor(2, 1);
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  box->addWidget(rules_);
  box->addWidget(split, 1);
  FillList();
  FillTimeline();
  FillMonths();
  connect(list_, &QTableWidget::itemSelectionChanged, this, [this] {
    const auto rows = list_->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    timeline_->Highlight(row);
    if (row >= 0) ShowInStatistics(row);
  });
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { BringStatisticsForward(); });
  connect(timeline_, &SituationTimeline::situationClicked, this, [this](int i) { list_->selectRow(i); });
  resize(820, 660);
}

void SituationsWindow::FillList() {
  const QStringList headings{QStringLiteral("Ситуация"), QStringLiteral("Начало"),    QStringLiteral("Конец"),
                             QStringLiteral("Часов"),    QStringLiteral("Объем, м³"), QStringLiteral("Источник")};
  list_->setColumnCount(static_cast<int>(headings.size()));
  list_->setHorizontalHeaderLabels(headings);
  list_->setRowCount(static_cast<int>(found_.situations.size()));
  for (int r = 0; r < list_->rowCount(); ++r) {
    const analysis::Situation& s = found_.situations[static_cast<std::size_t>(r)];
    list_->setItem(r, 0, Cell(Q(SituationText(s))));
    list_->setItem(r, 1, Cell(HourDateText(s.from)));
    list_->setItem(r, 2, Cell(s.to ? HourDateText(*s.to) : QString::fromUtf8(kSituationOpenText)));
    list_->setItem(r, 3, Cell(QString::number(s.hours), true));
    list_->setItem(r, 4, Cell(s.volume ? QString::number(*s.volume, 'f', 3) : QString(), true));
    list_->setItem(r, 5, Cell(Q(std::string(SituationSourceText(s.source)))));
  }
  list_->resizeColumnsToContents();
  list_->horizontalHeader()->setStretchLastSection(true);
}

void SituationsWindow::FillTimeline() {
  // One row per kind shown, a flag's and an event mark's by its word; in
  // the order of the kinds, then of the words. Only the situations that
  // touch the period.
  const auto touches = [this](const analysis::Situation& s) {
    return s.from <= last_ && s.to.value_or(last_) >= first_;
  };
  std::map<std::pair<int, std::string>, int> rowOf;
  for (const analysis::Situation& s : found_.situations)
    if (touches(s)) rowOf[{static_cast<int>(s.kind), SituationText(s)}] = 0;
  QStringList rows;
  for (auto& [key, row] : rowOf) {
    row = static_cast<int>(rows.size());
    rows << Q(key.second);
  }
  std::vector<TimelineBar> bars;
  for (std::size_t i = 0; i < found_.situations.size(); ++i) {
    const analysis::Situation& s = found_.situations[i];
    if (!touches(s)) continue;
    bars.push_back({.row = rowOf[{static_cast<int>(s.kind), SituationText(s)}],
                    .from = s.from,
                    .to = s.to.value_or(last_),
                    .source = static_cast<int>(s.source),
                    .situation = static_cast<int>(i)});
  }
  timeline_->Show(rows, std::move(bars), first_, last_);
}

void SituationsWindow::FillMonths() {
  QStringList headings{QStringLiteral("Месяц"), QStringLiteral("Часов"), QStringLiteral("С данными"),
                       QStringLiteral("Без данных")};
  const std::size_t flags = found_.months.empty() ? 0 : found_.months.front().flagHours.size();
  for (std::size_t f = 0; f < flags; ++f)
    headings << Q(found_.months.front().flagHours[f].first) + QStringLiteral(", ч");
  const bool counted = std::any_of(found_.months.begin(), found_.months.end(),
                                   [](const analysis::MonthSummary& m) { return m.operatingHours.has_value(); });
  if (counted) headings << QStringLiteral("Tраб, ч") << QStringLiteral("Tош, ч");
  months_->setColumnCount(static_cast<int>(headings.size()));
  months_->setHorizontalHeaderLabels(headings);
  months_->setRowCount(static_cast<int>(found_.months.size()));
  for (int r = 0; r < months_->rowCount(); ++r) {
    const analysis::MonthSummary& m = found_.months[static_cast<std::size_t>(r)];
    int c = 0;
    months_->setItem(r, c++, Cell(QStringLiteral("%1.%2").arg(m.month, 2, 10, QLatin1Char('0')).arg(m.year)));
    for (const long long v : {m.hours, m.held, m.missing}) months_->setItem(r, c++, Cell(QString::number(v), true));
    for (std::size_t f = 0; f < flags; ++f) {
      const long long v = f < m.flagHours.size() ? m.flagHours[f].second : 0;
      months_->setItem(r, c++, Cell(QString::number(v), true));
    }
    if (!counted) continue;
    for (const auto& v : {m.operatingHours, m.errorHours})
      months_->setItem(r, c++, Cell(v ? QString::number(*v, 'f', 2) : QString(), true));
  }
  months_->resizeColumnsToContents();
}

bool SituationsWindow::ShowInStatistics(int i) {
  if (i < 0 || i >= static_cast<int>(found_.situations.size())) return false;
  if (!statWidget_) {
    app_.Status(QStringLiteral("Окно статистики этого файла закрыто"));
    return false;
  }
  const analysis::Situation& s = found_.situations[static_cast<std::size_t>(i)];
  stat_->ShowHours(s.from, s.to.value_or(std::max(s.from, last_)));
  return true;
}

void SituationsWindow::BringStatisticsForward() {
  if (!statWidget_) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(statWidget_->parentWidget()); sub && sub->mdiArea()) {
    if (sub->isMinimized()) sub->showNormal();
    sub->mdiArea()->setActiveSubWindow(sub);
  }
}

}  // namespace statvtk::app
