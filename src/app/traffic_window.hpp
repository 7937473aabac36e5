// The traffic monitor ("Монитор обмена"): the link's frames as time,
// direction and hex bytes, so a service engineer sees why an instrument does
// not answer. Sent, received, bad and late frames are told apart; the view
// follows new lines unless the user has scrolled up, and can be saved.
#pragma once

#include <QWidget>
#include <filesystem>

#include "app/job_controller.hpp"

class QPlainTextEdit;
class QAction;

namespace statvtk::app {

// One line of the monitor: "hh:mm:ss.zzz  -> 55 01 ..." ("<-" a good reply,
// "<! ... [cause]" a bad one, "<~" bytes that came late and were dropped).
QString TrafficLine(const TrafficEntry& e);

class UiSeam;

class TrafficWindow : public QWidget {
  Q_OBJECT
 public:
  // `home`: the program home, whose logs/ folder a save proposes.
  TrafficWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent = nullptr);
  void Add(const TrafficEntry& e);
  void Clear();
  // "Сохранить": the lines into a text file the user names.
  void Save();
  QString Text() const;
  int LineCount() const;
  QPlainTextEdit* View() const { return view_; }

 private:
  UiSeam& ui_;
  std::filesystem::path home_;
  QPlainTextEdit* view_ = nullptr;
};

}  // namespace statvtk::app
