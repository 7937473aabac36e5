#include "app/events_window.hpp"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_services.hpp"

namespace statvtk::app {

namespace {

// What the short column headings stand for.
QString HeadingTip(const std::string& h) {
  static const std::pair<const char*, const char*> tips[] = {
      {"№ п/п", "Номер события по порядку времени"},
      {"Выкл.", "Выключение питания"},
      {"Вкл.", "Включение питания"},
      {"Gmax", "Расход выше Gmax"},
      {"Gmin", "Расход ниже Gmin"},
      {"Рев.", "Реверс (обратный поток)"},
      {"Возб.", "Неисправность цепи возбуждения"},
      {"АЦП", "Неисправность АЦП"},
      {"Настр.", "Изменение настроек прибора"},
      {"Оч.", "Очистка архива"},
      {"Сброс", "Сброс прибора"},
      {"HEX", "Запись события целиком, байты в шестнадцатеричном виде"},
      {"Калибр.", "Калибровка"},
      {"Изм. врем.", "Установка часов прибора"},
      {"Врем. инт.", "Изменение интервала интегрирования"},
      {"ПТ", "Пустая труба"},
      {"Т", "Неисправность датчика температуры"},
      {"V batt", "Напряжение батареи, В"},
  };
  for (const auto& [name, tip] : tips)
    if (h == name) return QString::fromUtf8(tip);
  return {};
}

// Set flags and alarms stand out from the cleared ones.
QColor MarkColor(const std::string& text) {
  if (text == "!") return QColor(0xC0, 0x10, 0x10);
  if (text == "+") return QColor(0x10, 0x60, 0x10);
  return {};
}

}  // namespace

EventsWindow::EventsWindow(const EventTable& table, AppServices& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Просмотр событий"));
  const int cols = static_cast<int>(table.headings.size());
  grid_ = new QTableWidget(static_cast<int>(table.rows.size()), cols, this);
  QStringList headings;
  for (const auto& h : table.headings) headings << QString::fromStdString(h);
  grid_->setHorizontalHeaderLabels(headings);
  for (int c = 0; c < cols; ++c)
    if (const QString tip = HeadingTip(table.headings[static_cast<std::size_t>(c)]); !tip.isEmpty())
      grid_->horizontalHeaderItem(c)->setToolTip(tip);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(20);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (int r = 0; r < static_cast<int>(table.rows.size()); ++r) {
    const auto& row = table.rows[r];
    for (int c = 0; c < cols && c < static_cast<int>(row.size()); ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(row[c]));
      if (c >= 2 && row[c].size() == 1) {
        item->setTextAlignment(Qt::AlignCenter);
        if (const QColor color = MarkColor(row[c]); color.isValid()) item->setForeground(color);
      }
      grid_->setItem(r, c, item);
    }
  }
  grid_->resizeColumnsToContents();
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  box->addWidget(grid_);
  if (table.rows.empty()) box->addWidget(new QLabel(QStringLiteral("В архиве событий нет записей"), this));
  // Wide enough for every column; the area it opens in may make it narrower.
  int width = 2 * grid_->frameWidth() + grid_->verticalScrollBar()->sizeHint().width() + 8 + 4;
  for (int c = 0; c < cols; ++c) width += grid_->columnWidth(c);
  resize(std::clamp(width, 360, 2000), 420);
  // The newest events are the ones looked for: the window opens at the end.
  if (!table.rows.empty()) grid_->setCurrentCell(grid_->rowCount() - 1, 0);
}

void EventsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  QTimer::singleShot(0, grid_, [grid = grid_] { grid->scrollToBottom(); });
}

}  // namespace statvtk::app
