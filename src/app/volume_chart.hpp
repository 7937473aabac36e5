// The chart under a statistics window's list: V+ and V- volume bars of the
// selection (per hour, day or month), from the core's VolumeSeriesOf.
#pragma once

#include <QChartView>

#include "stats/volume_series.hpp"

class QBarSet;

namespace statvtk::app {

class VolumeChart : public QChartView {
 public:
  explicit VolumeChart(QWidget* parent = nullptr);
  void Show(const VolumeSeries& series);
  // The bar sets as shown ("V+, м3" and "V-, м3"), for reading back.
  const QBarSet* Forward() const { return forward_; }
  const QBarSet* Reverse() const { return reverse_; }
  QStringList Categories() const;

 private:
  QBarSet* forward_ = nullptr;
  QBarSet* reverse_ = nullptr;
};

}  // namespace statvtk::app
