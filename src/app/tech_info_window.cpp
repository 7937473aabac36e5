#include "app/tech_info_window.hpp"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/app_services.hpp"
#include "reports/tech_info.hpp"

namespace statvtk::app {

namespace {

constexpr int kRowHeight = 18;
constexpr int kLabelWidth = 80;
constexpr int kValueWidth = 180;

// The two VTK-08.14 members keep different Ду and nominal-flow tables; a file
// does not tell them apart, so the window says which tables it used.
QString TablesNoteText(DeviceType type) {
  switch (type) {
    case DeviceType::dtVTK0814C:
      return QStringLiteral("Ду и расходы по таблицам исполнения C (15…150 мм, 6…600 м3/ч)");
    case DeviceType::dtVTK0814CM:
      return QStringLiteral("Ду и расходы по таблицам исполнения CM (15…150 мм, 6,3…630 м3/ч)");
    default: return {};
  }
}

}  // namespace

TechInfoWindow::TechInfoWindow(std::span<const std::uint8_t> header, DeviceType type, AppServices& app,
                               QWidget* parent)
    : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose);
  const TechInfo info = BuildTechInfo(header, type);
  setWindowTitle(QString::fromStdString(info.caption));
  grid_ = new QTableWidget(static_cast<int>(info.rows.size()), 2, this);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  grid_->verticalHeader()->setMinimumSectionSize(kRowHeight);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int r = 0; r < static_cast<int>(info.rows.size()); ++r) {
    auto* label = new QTableWidgetItem(QString::fromStdString(info.rows[r].label));
    label->setToolTip(label->text());
    grid_->setItem(r, 0, label);
    auto* value = new QTableWidgetItem(QString::fromStdString(info.rows[r].value));
    value->setToolTip(value->text());
    grid_->setItem(r, 1, value);
  }
  // The columns are at least their classic widths and as wide as their texts.
  grid_->resizeColumnsToContents();
  grid_->setColumnWidth(0, std::max(kLabelWidth, grid_->columnWidth(0) + 8));
  grid_->setColumnWidth(1, std::max(kValueWidth, grid_->columnWidth(1) + 8));
  const int columns = grid_->columnWidth(0) + grid_->columnWidth(1);
  note_ = new QLabel(TablesNoteText(type), this);
  note_->setWordWrap(true);
  note_->setVisible(!note_->text().isEmpty());
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  box->addWidget(grid_);
  box->addWidget(note_);
  const int frame = 2 * grid_->frameWidth();
  grid_->setMinimumSize(columns + frame, kRowHeight * grid_->rowCount() + frame);
  resize(columns + frame + 12, kRowHeight * grid_->rowCount() + frame + 60);
}

}  // namespace statvtk::app
