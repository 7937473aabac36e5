// The chart under a statistics window's list: V+ and V- volume bars of the
// selection (per hour, day or month), from the core's VolumeSeriesOf.
#pragma once

#include <QChartView>

#include "stats/volume_series.hpp"

class QBarCategoryAxis;
class QBarSet;

namespace statvtk::app {

class VolumeChart : public QChartView {
 public:
  explicit VolumeChart(QWidget* parent = nullptr);
  void Show(const VolumeSeries& series);
  // The bar sets as shown ("V+, м3" and "V-, м3"), for reading back.
  const QBarSet* Forward() const { return forward_; }
  const QBarSet* Reverse() const { return reverse_; }
  // The bar labels (every one, as the series gives them).
  QStringList Categories() const { return labels_; }
  // The labels as drawn: when the chart is too narrow for all of them, only
  // every n-th is written (the others are blank), so none is cut to "…".
  QStringList ShownCategories() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SpaceLabels();

  QStringList labels_;
  QBarCategoryAxis* axis_ = nullptr;
  QBarSet* forward_ = nullptr;
  QBarSet* reverse_ = nullptr;
};

}  // namespace statvtk::app
