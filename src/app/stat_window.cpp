#include "app/stat_window.hpp"

#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_services.hpp"
#include "app/date_field.hpp"
#include "app/hour_span.hpp"
#include "app/stat_csv.hpp"
#include "app/stat_notes.hpp"
#include "app/values_pane.hpp"
#include "app/volume_chart.hpp"
#include "stats/record_check.hpp"
#include "stats/values_table.hpp"
#include "stats/volume_series.hpp"

namespace statvtk::app {

namespace {

QDate ToQDate(const CalendarDate& d) { return QDate(d.year, d.month, d.day); }
CalendarDate FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

QDateEdit* MakePicker(QWidget* parent) { return new DateField(parent); }

}  // namespace

std::string ShortDate(const CalendarDate& d) { return ShortDateText(d); }

StatWindow::StatWindow(DeviceType type, AppServices& app, std::optional<CalendarDate> today, QWidget* parent)
    : QWidget(parent), app_(app), data_(StatData::Blank(type)), today_(today) {
  setAttribute(Qt::WA_DeleteOnClose);
  // The body keeps a size at which every control reads whole; a smaller
  // window (a small screen) scrolls it instead of squeezing it.
  auto* body = new QWidget();
  auto* split = new QSplitter(Qt::Vertical, body);
  split->addWidget(BuildControls());
  chart_ = new VolumeChart(split);
  chart_->setMinimumHeight(120);
  split->addWidget(chart_);
  values_ = new ValuesPane(split);
  split->addWidget(values_);
  connect(values_, &ValuesPane::copyAsked, this, [this] { CopyValues(); });
  split->setChildrenCollapsible(false);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setStretchFactor(2, 1);
  // The controls as low as they can be; the chart and the table share the rest.
  split->setSizes({split->widget(0)->minimumSizeHint().height(), 240, 240});
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(4, 4, 4, 4);
  column->addWidget(split);
  body->setMinimumWidth(560);
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidget(body);
  // The notes on what the window holds stay in view below the scrolled part
  // (wrapped labels inside it would make it scroll to their full height).
  held_ = new QLabel(this);
  held_->setWordWrap(true);
  held_->hide();
  leftOut_ = new QLabel(this);
  leftOut_->setWordWrap(true);
  leftOut_->setStyleSheet(QStringLiteral("color: #a05000"));
  leftOut_->hide();
  for (QLabel* note : {held_, leftOut_}) note->setContentsMargins(6, 0, 6, 2);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(2);
  outer->addWidget(scroll, 1);
  outer->addWidget(held_);
  outer->addWidget(leftOut_);
  resize(980, 760);
  Rebuild(StatMode::Daily);
}

StatWindow::~StatWindow() = default;

QWidget* StatWindow::BuildControls() {
  auto* top = new QWidget(this);
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(0, 0, 0, 0);

  auto* stats = new QGroupBox(QStringLiteral("Статистика"), top);
  list_ = new QListWidget(stats);
  list_->setMinimumWidth(110);
  list_->setMinimumHeight(120);
  auto* statsBox = new QVBoxLayout(stats);
  statsBox->addWidget(list_);
  row->addWidget(stats, 1);

  auto* right = new QVBoxLayout();
  auto* period = new QGroupBox(QStringLiteral("Период"), top);
  auto* form = new QFormLayout(period);
  begin_ = MakePicker(period);
  end_ = MakePicker(period);
  form->addRow(QStringLiteral("Начальная дата"), begin_);
  form->addRow(QStringLiteral("Конечная дата"), end_);
  reportButton_ = new QPushButton(QStringLiteral("Создать отчет"), period);
  eventsButton_ = new QPushButton(QStringLiteral("Просмотр событий"), period);
  csvButton_ = new QPushButton(QStringLiteral("Экспорт CSV"), period);
  csvButton_->setToolTip(QStringLiteral("Записи архива выбранного типа в файл CSV"));
  auto* csvMenu = new QMenu(csvButton_);
  csvMenu->addAction(QStringLiteral("Показанный период..."), this, [this] { ExportCsv(CsvScope::Shown); });
  csvMenu->addAction(QStringLiteral("Весь архив..."), this, [this] { ExportCsv(CsvScope::Archive); });
  csvButton_->setMenu(csvMenu);
  for (QWidget* w : std::initializer_list<QWidget*>{begin_, end_, reportButton_, eventsButton_, csvButton_})
    w->setMinimumHeight(w->sizeHint().height());
  // The three commands side by side: the window stays low enough for a laptop's screen.
  auto* commands = new QHBoxLayout();
  for (QPushButton* b : {reportButton_, eventsButton_, csvButton_}) commands->addWidget(b);
  form->addRow(commands);
  right->addWidget(period);

  auto* kind = new QGroupBox(QStringLiteral("Тип данных"), top);
  auto* kindBox = new QHBoxLayout(kind);
  modeH_ = new QRadioButton(QStringLiteral("Часовые"), kind);
  modeD_ = new QRadioButton(QStringLiteral("Суточные"), kind);
  modeM_ = new QRadioButton(QStringLiteral("Месячные"), kind);
  modeD_->setChecked(true);
  kindBox->addWidget(modeH_);
  kindBox->addWidget(modeD_);
  kindBox->addWidget(modeM_);
  right->addWidget(kind);

  auto* curr = new QGroupBox(QStringLiteral("Текущие показания"), top);
  grid_ = new QTableWidget(0, 2, curr);
  const CurrRow heading = StatWindowModel::CurrHeading();
  grid_->setHorizontalHeaderLabels({QString::fromStdString(heading.name), QString::fromStdString(heading.value)});
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(20);
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::NoSelection);
  auto* currBox = new QVBoxLayout(curr);
  currBox->addWidget(grid_);
  right->addWidget(curr);
  right->addStretch(1);
  row->addLayout(right, 2);

  connect(modeH_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) OnModeChosen(StatMode::Hourly);
  });
  connect(modeD_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) OnModeChosen(StatMode::Daily);
  });
  connect(modeM_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) OnModeChosen(StatMode::Monthly);
  });
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { OnListChanged(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
    if (window_->Mode() == StatMode::Hourly) MakeReport();
  });
  connect(begin_, &QDateEdit::dateChanged, this, [this] { OnDatesChanged(); });
  connect(end_, &QDateEdit::dateChanged, this, [this] { OnDatesChanged(); });
  connect(reportButton_, &QPushButton::clicked, this, [this] { MakeReport(); });
  connect(eventsButton_, &QPushButton::clicked, this, [this] { app_.OpenEventsFor(this); });
  return top;
}

QTableWidget* StatWindow::ValuesGrid() const { return values_->Grid(); }

QRadioButton* StatWindow::ModeButton(StatMode mode) const {
  switch (mode) {
    case StatMode::Hourly: return modeH_;
    case StatMode::Daily: return modeD_;
    case StatMode::Monthly: return modeM_;
  }
  return nullptr;
}

void StatWindow::Load(const StatData& data) {
  if (MakeStatModel(data) == nullptr) {
    app_.Log(QStringLiteral("Ошибка: данные статистики неизвестного типа или размера"));
    return;
  }
  data_ = data;
  loaded_ = true;
  Rebuild(window_ ? window_->Mode() : StatMode::Daily);
  ShowNewestWeek();
  if (const QString damaged = DamageWarning(); !damaged.isEmpty()) {
    held_->setText(damaged);
    held_->setStyleSheet(QStringLiteral("color: #b00000"));
    held_->show();
  }
  const QString leftOut = LeftOutText();
  leftOut_->setText(leftOut);
  leftOut_->setVisible(!leftOut.isEmpty());
}

// The pickers start on the image's newest week rather than on today's date,
// so that the list and the chart show data as soon as the window opens.
void StatWindow::ShowNewestWeek() {
  if (window_->Mode() == StatMode::Monthly || window_->Items().empty()) return;
  const CalendarDate newest = DateOfKey(window_->Items().back().key);
  window_->SetBeginDate(window_->Mode() == StatMode::Hourly ? newest : AddDays(newest, -6));
  window_->SetEndDate(newest);
  window_->DatesChanged();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::Rebuild(StatMode mode) {
  std::shared_ptr<const StatModel> model = MakeStatModel(data_);
  window_ = std::make_unique<StatWindowModel>(std::move(model), today_);
  if (mode != StatMode::Daily) window_->SetMode(mode);
  FillList();
  ShowCurr();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::FillList() {
  const QSignalBlocker block(list_);
  list_->clear();
  list_->setSelectionMode(window_->MultiSelect() ? QAbstractItemView::ExtendedSelection
                                                 : QAbstractItemView::SingleSelection);
  for (const ListItem& item : window_->Items()) list_->addItem(QString::fromStdString(item.text));
  end_->setEnabled(window_->EndDateEnabled());
  // Months listed from the daily archive (VTK-08.12 keeps no monthly one)
  // have no records of their own to export.
  const StatMode mode = window_->Mode();
  const ArchiveKind kind = mode == StatMode::Hourly  ? ArchiveKind::Hourly
                           : mode == StatMode::Daily ? ArchiveKind::Daily
                                                     : ArchiveKind::Monthly;
  const bool exportable = window_->Model().HasArchive(kind);
  csvButton_->setEnabled(exportable);
  csvButton_->setToolTip(exportable ? QStringLiteral("Записи архива выбранного типа в файл CSV")
                                    : QStringLiteral("В приборе нет месячного архива: месяцы собраны из суточных "
                                                     "записей. Экспортируйте суточные."));
}

void StatWindow::ShowCurr() {
  const std::vector<CurrRow> rows = window_->ShowCurr();
  grid_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    grid_->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(rows[r].name)));
    grid_->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(rows[r].value)));
  }
  grid_->resizeColumnToContents(0);
  // Every row visible without scrolling (LDN-08 has six), and no more.
  grid_->setFixedHeight(grid_->horizontalHeader()->sizeHint().height() +
                        grid_->verticalHeader()->defaultSectionSize() * grid_->rowCount() + 2 * grid_->frameWidth());
}

void StatWindow::ScrollToSelection() {
  const auto sel = window_->SelectedItems();
  if (sel.empty()) return;
  list_->scrollToItem(list_->item(static_cast<int>(sel.back())));
  list_->scrollToItem(list_->item(static_cast<int>(sel.front())));
}

// Puts the model's selection and dates into the controls without feeding
// them back.
void StatWindow::ShowSelectionAndDates() {
  syncing_ = true;
  {
    const QSignalBlocker b1(list_), b2(begin_), b3(end_);
    for (int i = 0; i < list_->count(); ++i)
      list_->item(i)->setSelected(window_->IsSelected(static_cast<std::size_t>(i)));
    ScrollToSelection();
    begin_->setDate(ToQDate(window_->BeginDate()));
    end_->setDate(ToQDate(window_->EndDate()));
  }
  syncing_ = false;
}

void StatWindow::UpdateChart() {
  chart_->Show(VolumeSeriesOf(*window_));
  values_->Show(ValuesTableOf(*window_), chart_->Title());
}

void StatWindow::CopyValues() {
  QGuiApplication::clipboard()->setText(QString::fromStdString(TabSeparated(ValuesTableOf(*window_))));
  app_.Status(QStringLiteral("Таблица значений скопирована в буфер обмена"));
}

void StatWindow::OnModeChosen(StatMode mode) {
  if (syncing_ || mode == window_->Mode()) return;
  window_->SetMode(mode);
  FillList();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::OnListChanged() {
  if (syncing_) return;
  window_->ClearSelection();
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->isSelected()) window_->SelectItem(static_cast<std::size_t>(i));
  window_->SelectionChanged();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::OnDatesChanged() {
  if (syncing_) return;
  window_->SetBeginDate(FromQDate(begin_->date()));
  window_->SetEndDate(FromQDate(end_->date()));
  window_->DatesChanged();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::MakeReport() {
  if (window_->Busy()) return;  // the message pump runs during a report
  const ReportPlan plan = window_->PrepareReport();
  ShowSelectionAndDates();  // the end-date corrections
  if (plan.kind == ReportKind::None) {
    app_.Status(window_->Mode() == StatMode::Monthly ? QStringLiteral("Отчет по месячным данным не создается")
                                                     : QStringLiteral("Не выбран день для отчета"));
    return;
  }
  window_->SetBusy(true);
  reportButton_->setEnabled(false);
  lastReport_ =
      RunStatReport(window_->Model(), plan, ShortDate(window_->BeginDate()), ShortDate(window_->EndDate()), app_, this);
  reportButton_->setEnabled(true);
  window_->SetBusy(false);
}

void StatWindow::ExportCsv(CsvScope scope) { ExportStatCsv(*window_, scope == CsvScope::Shown, app_, this); }

QString StatWindow::HeldText() const { return loaded_ ? HeldRecordsText(window_->Model()) : QString(); }

void StatWindow::ShowWhatIsHeld() {
  if (!loaded_) return;
  const RecordCounts counts = CountRecords(window_->Model());
  held_->setText(!held_->isHidden() ? HeldText() + QStringLiteral(". ") + held_->text() : HeldText());
  held_->show();
  // The kind shown first is one that has records: daily, else hourly, else monthly.
  if (counts.Valid(ArchiveKind::Daily) != 0 || window_->Mode() != StatMode::Daily) return;
  if (counts.Valid(ArchiveKind::Hourly) != 0) modeH_->setChecked(true);
  else if (counts.Valid(ArchiveKind::Monthly) != 0) modeM_->setChecked(true);
  ShowNewestWeek();
}

QString StatWindow::DamageWarning() const { return loaded_ ? DamagedRecordsText(window_->Model()) : QString(); }

QString StatWindow::LeftOutText() const { return loaded_ ? LeftOutRecordsText(window_->Model()) : QString(); }

void StatWindow::ShowHours(long long from, long long to) {
  const HourSpan span = HourSpanOf(from, to);
  if (span.OneDay()) {
    modeH_->setChecked(true);
    const std::uint32_t key = DayKeyOfDate(span.first);
    for (std::size_t i = 0; i < window_->Items().size(); ++i) {
      if (window_->Items()[i].key != key) continue;
      window_->ClearSelection();
      window_->SelectItem(i);
      window_->SelectionChanged();
      ShowSelectionAndDates();
      UpdateChart();
      values_->SelectPeriods(span.hours);
      return;
    }
  }
  // Several days, or a day without hourly records: the days.
  modeD_->setChecked(true);
  window_->SetBeginDate(span.first);
  window_->SetEndDate(span.last);
  window_->DatesChanged();
  ShowSelectionAndDates();
  UpdateChart();
}

void StatWindow::closeEvent(QCloseEvent* event) {
  if (!window_->CanClose()) {
    event->ignore();
    return;
  }
  event->accept();
}

void StatWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The list knows its height only now.
  QTimer::singleShot(0, this, [this] { ScrollToSelection(); });
}

}  // namespace statvtk::app
