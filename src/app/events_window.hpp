// "Просмотр событий": the event archive of a statistics window's image, one
// grid row per event with the model's headings (each explained in its tool
// tip) and "+", "-", "!" marks; it opens at the newest event.
#pragma once

#include <QWidget>

#include "stats/stat_model.hpp"

class QTableWidget;

namespace statvtk::app {

class AppServices;

class EventsWindow : public QWidget {
  Q_OBJECT
 public:
  EventsWindow(const EventTable& table, AppServices& app, QWidget* parent = nullptr);
  QTableWidget* Grid() const { return grid_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  AppServices& app_;
  QTableWidget* grid_ = nullptr;
};

}  // namespace statvtk::app
