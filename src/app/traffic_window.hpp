// The traffic monitor ("Монитор обмена"): the link's frames as time,
// direction and hex bytes, so a service engineer sees why an instrument does
// not answer. Sent, received, bad and late frames are told apart.
#pragma once

#include <QWidget>

#include "app/job_controller.hpp"

class QPlainTextEdit;
class QAction;

namespace statvtk::app {

// One line of the monitor: "hh:mm:ss.zzz  -> 55 01 ..." ("<-" a good reply,
// "<! ... [cause]" a bad one, "<~" bytes that came late and were dropped).
QString TrafficLine(const TrafficEntry& e);

class TrafficWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TrafficWindow(QWidget* parent = nullptr);
  void Add(const TrafficEntry& e);
  void Clear();
  QString Text() const;
  int LineCount() const;
  QPlainTextEdit* View() const { return view_; }

 private:
  QPlainTextEdit* view_ = nullptr;
};

}  // namespace statvtk::app
