// "Текущие показания": the instrument's present values, refreshed by a timer.
// Each tick asks the main window for a current-values job; its result comes
// back through ShowCurrent or RefreshFailed. A failed refresh is shown as a
// red line with its time, the values last read turn grey with the time they
// date from, and the timer keeps running, so the next period tries again. "Остановить чтение" stops the polling ("Опрос
// остановлен"); the window's button or the read-current command resumes it.
#pragma once

#include <QMap>
#include <QWidget>
#include <cstdint>

#include "app/child_windows.hpp"
#include "reading/current_readings.hpp"

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace statvtk::app {

class CurrentWindow : public QWidget, public CurrentChild {
  Q_OBJECT
 public:
  explicit CurrentWindow(AppServices& app, QWidget* parent = nullptr);

  QWidget* Widget() override { return this; }
  void ShowCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) override;
  void RefreshFailed(const QString& reason) override;
  bool Polling() const override { return polling_; }
  void StopPolling() override;
  void ResumePolling() override;

  // One tick of the poll timer (what the timer does at each period).
  void Tick();

  QTimer* Timer() const { return timer_; }
  QSpinBox* IntervalField() const { return interval_; }
  QPushButton* ResumeButton() const { return resume_; }
  // The label of a value by its control name (LabelG, LabelVp, ...); null when not shown.
  QLabel* Value(const QString& name) const;
  QLabel* StateLine() const { return state_; }
  DeviceType Type() const { return type_; }
  // The values shown are from an earlier read (the last refresh failed).
  bool Stale() const { return stale_; }

 private:
  void ShowView(const CurrentView& view);
  void FitToContents();
  void SetPolling(bool on);
  void SetState(const QString& text, bool failure);
  void SetStale(bool stale);

  AppServices& app_;
  DeviceType type_ = DeviceType::dtUnknown;
  QGroupBox* values_ = nullptr;
  QWidget* rows_ = nullptr;        // the caption and value labels of the shown model
  QMap<QString, QLabel*> labels_;  // value labels by control name
  QLabel* state_ = nullptr;
  QPushButton* resume_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QTimer* timer_ = nullptr;
  bool polling_ = true;  // a new window polls from its first reading on
  int failures_ = 0;     // failed refreshes so far
  bool stale_ = false;
  QString updated_;  // the time of the values shown
};

}  // namespace statvtk::app
