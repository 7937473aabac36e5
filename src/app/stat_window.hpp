// The statistics window of one model: the period list, the mode buttons, the
// two date pickers, the current values, the report, events and CSV buttons,
// the volume chart and the values table of the selection. All logic is the
// core's StatWindowModel; this window shows it and forwards the user's
// actions. On a small screen the window keeps its minimum size and scrolls.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "app/child_windows.hpp"
#include "app/stat_report.hpp"
#include "stats/stat_window.hpp"

class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace statvtk::app {

class AppServices;
class ValuesPane;
class VolumeChart;

class StatWindow : public QWidget, public StatChild {
  Q_OBJECT
 public:
  // `today` sets both pickers at creation (the local date when not given).
  StatWindow(DeviceType type, AppServices& app, std::optional<CalendarDate> today = std::nullopt,
             QWidget* parent = nullptr);
  ~StatWindow() override;

  QWidget* Widget() override { return this; }
  DeviceType Model() const override { return data_.type; }
  bool Loaded() const override { return loaded_; }
  void Load(const StatData& data) override;
  const StatData& Data() const override { return data_; }
  // "Создать отчет": the hourly or daily report of the current mode.
  void MakeReport() override;
  bool Busy() const override { return window_->Busy(); }
  void ShowWhatIsHeld() override;
  QString DamageWarning() const override;
  QString LeftOutText() const override;
  void ShowHours(long long from, long long to) override;
  // "Часовых: 120, суточных: 0, месячных: 0" (empty before a load).
  QString HeldText() const;

  // "Экспорт CSV": the current mode's archive, whole or only the periods
  // shown (the events never).
  enum class CsvScope { Archive, Shown };
  void ExportCsv(CsvScope scope = CsvScope::Archive);
  // "Копировать": the values table as tab-separated text on the clipboard.
  void CopyValues();

  const StatWindowModel& WindowModel() const { return *window_; }
  const ReportOutcome& LastReport() const { return lastReport_; }
  QListWidget* List() const { return list_; }
  QDateEdit* BeginPicker() const { return begin_; }
  QDateEdit* EndPicker() const { return end_; }
  QRadioButton* ModeButton(StatMode mode) const;
  QTableWidget* CurrentGrid() const { return grid_; }
  VolumeChart* Chart() const { return chart_; }
  QPushButton* ReportButton() const { return reportButton_; }
  QPushButton* EventsButton() const { return eventsButton_; }
  QLabel* HeldLine() const { return held_; }
  QLabel* LeftOutLine() const { return leftOut_; }
  QTableWidget* ValuesGrid() const;
  QPushButton* CsvButton() const { return csvButton_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildControls();
  void Rebuild(StatMode mode);  // a new model over data_, keeping the mode
  void FillList();
  void ShowNewestWeek();
  void ScrollToSelection();
  void ShowCurr();
  void ShowSelectionAndDates();
  void UpdateChart();  // the chart and the values table
  void OnModeChosen(StatMode mode);
  void OnListChanged();
  void OnDatesChanged();

  AppServices& app_;
  StatData data_;
  bool loaded_ = false;
  std::optional<CalendarDate> today_;
  std::unique_ptr<StatWindowModel> window_;
  ReportOutcome lastReport_ = NoReportMade();
  bool syncing_ = false;  // the window itself is changing its controls

  QListWidget* list_ = nullptr;
  QDateEdit* begin_ = nullptr;
  QDateEdit* end_ = nullptr;
  QRadioButton* modeH_ = nullptr;
  QRadioButton* modeD_ = nullptr;
  QRadioButton* modeM_ = nullptr;
  QTableWidget* grid_ = nullptr;
  VolumeChart* chart_ = nullptr;
  QPushButton* reportButton_ = nullptr;
  QPushButton* eventsButton_ = nullptr;
  QPushButton* csvButton_ = nullptr;
  QLabel* held_ = nullptr;     // how many records of each kind (after a stopped read)
  QLabel* leftOut_ = nullptr;  // records that failed their checks
  ValuesPane* values_ = nullptr;
};

// "DD.MM.YY" of a picker date (as the daily report's range is written).
std::string ShortDate(const CalendarDate& d);

}  // namespace statvtk::app
