// "Нештатные ситуации": the abnormal situations of a statistics window's
// image and its months, from the analysis (src/analysis) with the rules'
// settings of StatVTK.ini's section [Situations]: the list (kind in words,
// start, end or "продолжается", hours, a rule's volume, source), a timeline
// of the period looked at and the months' summary. Choosing a situation
// shows its hours in the statistics window; a double click brings that
// window forward.
#pragma once

#include <QPointer>
#include <QWidget>

#include "analysis/situations.hpp"

class QLabel;
class QTableWidget;

namespace statvtk::app {

class AppServices;
class SituationTimeline;
class StatChild;

class SituationsWindow : public QWidget {
  Q_OBJECT
 public:
  SituationsWindow(StatChild& stat, AppServices& app, QWidget* parent = nullptr);

  const analysis::Analysis& Found() const { return found_; }
  QTableWidget* List() const { return list_; }
  QTableWidget* Months() const { return months_; }
  SituationTimeline* Timeline() const { return timeline_; }
  QLabel* RulesLine() const { return rules_; }
  // Shows situation `i`'s hours in the statistics window; false when that
  // window has gone.
  bool ShowInStatistics(int i);

 private:
  void FillList();
  void FillTimeline();
  void FillMonths();
  void BringStatisticsForward();

  AppServices& app_;
  StatChild* stat_ = nullptr;
  QPointer<QWidget> statWidget_;  // guards stat_: the statistics window may close first
  analysis::Settings settings_;
  analysis::Analysis found_;
  long long first_ = 0, last_ = 0;  // the timeline's period: the hourly archive's first and last hour
  QLabel* rules_ = nullptr;
  QTableWidget* list_ = nullptr;
  SituationTimeline* timeline_ = nullptr;
  QTableWidget* months_ = nullptr;
};

}  // namespace statvtk::app
