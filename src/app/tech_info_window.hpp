// "Техническая информация": the configuration of the instrument last read
// (type, Ду, flow limits, Fmax, Kv) from its header block. A new window opens
// at each request.
#pragma once

#include <QWidget>

#include <cstdint>
#include <span>

#include "stats/device_type.hpp"

class QLabel;
class QTableWidget;

namespace statvtk::app {

class AppServices;

class TechInfoWindow : public QWidget {
  Q_OBJECT
 public:
  TechInfoWindow(std::span<const std::uint8_t> header, DeviceType type, AppServices& app, QWidget* parent = nullptr);
  QTableWidget* Grid() const { return grid_; }
  // Which member's tables gave Ду and the flows (VTK-08.14 only, else empty).
  QLabel* TablesNote() const { return note_; }

 private:
  AppServices& app_;
  QTableWidget* grid_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace statvtk::app
