// The timeline of a situations window: the period looked at from left to
// right, one row per kind of situation (a flag or an event mark: its word),
// a bar for each situation, coloured by its source (flags, events, rule);
// the days or months marked below. A click on a bar picks its situation.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace statvtk::app {

struct TimelineBar {
  int row = 0;         // index into the rows
  long long from = 0;  // start of its first hour, calendar seconds
  long long to = 0;    // start of its last hour
  int source = 0;      // 0 flags, 1 events, 2 rule (the colour)
  int situation = 0;   // its index in the window's list
};

class SituationTimeline : public QWidget {
  Q_OBJECT
 public:
  explicit SituationTimeline(QWidget* parent = nullptr);

  // `first` and `last`: the starts of the first and last hour shown.
  void Show(const QStringList& rows, std::vector<TimelineBar> bars, long long first, long long last);
  // The situation drawn with a frame (-1: none).
  void Highlight(int situation);
  // The situation of the bar under `pos` (-1: none).
  int SituationAt(const QPoint& pos) const;
  // Where a bar is drawn (empty when it is not).
  QRect BarRect(const TimelineBar& bar) const;
  const std::vector<TimelineBar>& Bars() const { return bars_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 Q_SIGNALS:
  void situationClicked(int situation);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int LabelWidth() const;
  int X(long long seconds) const;
  void PaintAxis(QPainter& p) const;

  QStringList rows_;
  std::vector<TimelineBar> bars_;
  long long first_ = 0, last_ = 0;
  int highlighted_ = -1;
};

}  // namespace statvtk::app
