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

QStringList VolumeChart::ShownCategories() const { return axis_ ? axis_->categories() : QStringList(); }

void VolumeChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  SpaceLabels();
}

void VolumeChart::SpaceLabels() {
  if (!axis_ || labels_.isEmpty()) return;
  const QFontMetrics metrics(axis_->labelsFont());
  int widest = 0;
  for (const QString& l : labels_) widest = std::max(widest, metrics.horizontalAdvance(l));
  const int available = std::max(1, width() - 90);  // the value axis and the margins
  const auto n = static_cast<int>(labels_.size());
  const int step = std::max(1, (n * (widest + 8) + available - 1) / available);
  QStringList shown;
  for (int i = 0; i < n; ++i)
    // Categories must differ: a blank one is i+1 zero-width spaces.
    shown << (i % step == 0 ? labels_[i] : QString(i + 1, QChar(0x200B)));
  if (shown != axis_->categories()) axis_->setCategories(shown);
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
  labels_ = labels;
  axis_ = x;
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
  SpaceLabels();
}

}  // namespace statvtk::app
