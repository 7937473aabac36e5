// The chart under a statistics window's list: V+ and V- volume bars of the
// selection (per hour, day or month), from the core's VolumeSeriesOf, drawn
// with QPainter (value axis on the left, labels below, legend at the bottom).
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "stats/volume_series.hpp"

namespace statvtk::app {

class VolumeChart : public QWidget {
 public:
  explicit VolumeChart(QWidget* parent = nullptr);
  void Show(const VolumeSeries& series);
  // The title as drawn (with the note on a second line when there is one).
  QString Title() const { return title_; }
  // The bar heights as shown ("V+, м3" and "V-, м3"): a period without a
  // known increment has 0 (no bar).
  const QList<double>& Forward() const { return forward_; }
  const QList<double>& Reverse() const { return reverse_; }
  // The bar labels (every one, as the series gives them).
  QStringList Categories() const { return labels_; }
  // The labels as drawn: when the chart is too narrow for all of them, only
  // every n-th is written (the others are blank), so none is cut or overlaps.
  QStringList ShownCategories() const;

  // The heights of the value axis's labels, bottom up: as many as the plot's
  // height has room for (at most six), so that no two overlap.
  QList<int> ValueTickYs() const;
  QSize sizeHint() const override { return {480, 220}; }
  // The tool tip of the bar under `pos`: its period and values, or "нет
  // данных"; empty outside the bars.
  QString BarTip(const QPoint& pos) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Layout;
  Layout Measure() const;
  QFont LabelFont() const;

  QString title_;
  QStringList labels_;
  QList<double> forward_;
  QList<double> reverse_;
  QList<int> records_;  // valid records of each period (0: no data)
  QList<bool> known_;   // the period has a known increment
  double bottom_ = 0;   // value range of the axis
  double top_ = 1;
};

}  // namespace statvtk::app
