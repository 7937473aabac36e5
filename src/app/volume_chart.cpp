#include "app/volume_chart.hpp"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QValueAxis>

#include <algorithm>
#include <memory>

namespace statvtk::app {

VolumeChart::VolumeChart(QWidget* parent) : QChartView(parent) {
  setRenderHint(QPainter::Antialiasing);
  setMinimumHeight(180);
  Show({});
}

QStringList VolumeChart::Categories() const {
  for (QAbstractAxis* axis : chart()->axes(Qt::Horizontal))
    if (auto* cat = qobject_cast<QBarCategoryAxis*>(axis)) return cat->categories();
  return {};
}

void VolumeChart::Show(const VolumeSeries& s) {
  auto* chart = new QChart();
  // A series without bars may still say why (an image without a valid record).
  QString title = s.bars.empty() && s.title.empty() ? QStringLiteral("Нет данных для графика") : QString::fromStdString(s.title);
  if (!s.note.empty()) title += QStringLiteral("\n") + QString::fromStdString(s.note);
  chart->setTitle(title);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setMargins(QMargins(4, 4, 4, 4));
  auto* series = new QBarSeries(chart);
  forward_ = new QBarSet(QStringLiteral("V+, м3"), series);
  reverse_ = new QBarSet(QStringLiteral("V-, м3"), series);
  QStringList labels;
  double top = 0, bottom = 0;  // a counter reset may give a negative increment
  for (const VolumeBar& b : s.bars) {
    labels << QString::fromStdString(b.label);
    // A period without a known increment gets no bar (a zero height).
    *forward_ << (b.HasValue() ? b.forward : 0.0);
    *reverse_ << (b.HasValue() ? b.reverse : 0.0);
    top = std::max({top, b.forward, b.reverse});
    bottom = std::min({bottom, b.forward, b.reverse});
  }
  series->append(forward_);
  series->append(reverse_);
  chart->addSeries(series);
  auto* x = new QBarCategoryAxis(chart);
  x->append(labels);
  auto* y = new QValueAxis(chart);
  y->setRange(bottom * 1.1, top > 0 ? top * 1.1 : 1.0);
  y->setLabelFormat(QStringLiteral("%.1f"));
  y->setTitleText(QStringLiteral("м3"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  series->attachAxis(x);
  series->attachAxis(y);
  // Hourly charts carry 24 labels: a smaller font keeps them readable.
  if (labels.size() > 12) {
    QFont f = x->labelsFont();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    x->setLabelsFont(f);
  }
  // setChart releases the previous chart to us.
  const std::unique_ptr<QChart> previous(this->chart());
  setChart(chart);
}

}  // namespace statvtk::app
