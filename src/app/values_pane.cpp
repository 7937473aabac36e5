#include "app/values_pane.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace statvtk::app {

ValuesPane::ValuesPane(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  auto* head = new QHBoxLayout();
  title_ = new QLabel(this);
  auto* copy = new QPushButton(QStringLiteral("Копировать"), this);
  copy->setToolTip(QStringLiteral("Таблица значений в буфер обмена (текст с табуляциями: вставляется в Excel и Calc)"));
  head->addWidget(title_, 1);
  head->addWidget(copy);
  column->addLayout(head);
  grid_ = new QTableWidget(this);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(20);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setMinimumHeight(80);
  column->addWidget(grid_, 1);
  connect(copy, &QPushButton::clicked, this, &ValuesPane::copyAsked);
  auto* shortcut = new QShortcut(QKeySequence::Copy, grid_);
  shortcut->setContext(Qt::WidgetShortcut);
  connect(shortcut, &QShortcut::activated, this, &ValuesPane::copyAsked);
}

QString ValuesPane::Title() const { return title_->text(); }

void ValuesPane::Show(const ValuesTable& t, const QString& chartTitle) {
  grid_->clear();
  grid_->setColumnCount(static_cast<int>(t.headings.size()));
  grid_->setRowCount(static_cast<int>(t.rows.size()));
  QStringList headings;
  for (const std::string& h : t.headings) headings << QString::fromStdString(h);
  grid_->setHorizontalHeaderLabels(headings);
  const QColor grey(0x80, 0x80, 0x80);
  for (int r = 0; r < static_cast<int>(t.rows.size()); ++r) {
    const ValuesRow& row = t.rows[static_cast<std::size_t>(r)];
    grid_->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(row.period)));
    for (int c = 0; c < static_cast<int>(row.fields.size()); ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(row.fields[static_cast<std::size_t>(c)]));
      // Numbers line up on the right; the state in words on the left.
      if (c + 1 < static_cast<int>(row.fields.size())) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (row.missing) item->setForeground(grey);
      grid_->setItem(r, c + 1, item);
    }
    if (row.missing) grid_->item(r, 0)->setForeground(grey);
  }
  grid_->resizeColumnsToContents();
  int missing = 0;
  for (const ValuesRow& row : t.rows) missing += row.missing ? 1 : 0;
  // "Значения по часам 14.06.24", as the chart names its volumes.
  QString title = chartTitle.section(QLatin1Char('\n'), 0, 0);
  if (title.startsWith(QStringLiteral("Объемы"))) title.replace(0, 6, QStringLiteral("Значения"));
  if (missing != 0) title += QStringLiteral(" (без данных: %1)").arg(missing);
  title_->setText(title);
}

void ValuesPane::SelectPeriods(const QStringList& periods) {
  grid_->clearSelection();
  QItemSelection rows;
  int first = -1;
  for (int r = 0; r < grid_->rowCount(); ++r) {
    const QTableWidgetItem* period = grid_->item(r, 0);
    if (!period || !periods.contains(period->text())) continue;
    rows.select(grid_->model()->index(r, 0), grid_->model()->index(r, grid_->columnCount() - 1));
    if (first < 0) first = r;
  }
  grid_->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
  if (first >= 0) grid_->scrollToItem(grid_->item(first, 0), QAbstractItemView::PositionAtTop);
}

}  // namespace statvtk::app
