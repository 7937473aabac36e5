// The values table under a statistics window's chart: its title ("Значения
// по часам 14.06.24", and how many periods have no data), the "Копировать"
// button and the table itself, one row per period, the periods without data
// in grey.
#pragma once

#include <QWidget>

#include "stats/values_table.hpp"

class QLabel;
class QTableWidget;

namespace statvtk::app {

class ValuesPane : public QWidget {
  Q_OBJECT
 public:
  explicit ValuesPane(QWidget* parent = nullptr);

  // Shows `table` under a title made from the chart's (its first line).
  void Show(const ValuesTable& table, const QString& chartTitle);
  // Selects the rows whose period text is in `periods` (nothing else) and
  // scrolls the first of them into view.
  void SelectPeriods(const QStringList& periods);
  QTableWidget* Grid() const { return grid_; }
  QString Title() const;

 Q_SIGNALS:
  // "Копировать" or Ctrl+C in the table.
  void copyAsked();

 private:
  QLabel* title_ = nullptr;
  QTableWidget* grid_ = nullptr;
};

}  // namespace statvtk::app
