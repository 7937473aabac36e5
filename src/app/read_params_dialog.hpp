// "Параметры чтения": whole archives, the last N records or the records new
// since the instrument's last file in Data, and which record
// kinds; each click is written to StatVTK.ini (SelectStatSettings) at once;
// after OK, Choice() is what the next statistics read takes.
#pragma once

#include <QDialog>

#include "app/settings_failure.hpp"
#include "reading/read_choice.hpp"

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace statvtk {
class IniFile;
}

namespace statvtk::app {

class ReadParamsDialog : public QDialog {
  Q_OBJECT
 public:
  // `previous`: the choice of the last accepted dialog (its counts are kept
  // unless "Последних" is chosen now).
  ReadParamsDialog(IniFile& ini, const ReadChoice& previous, QWidget* parent = nullptr);

  // The choice the dialog shows, as OK accepts it.
  ReadChoice Choice() const;

  // Sets the controls from the settings file (as at each showing).
  void LoadFromSettings();
  // Where a failed write of a choice goes (the main window's one way).
  void SetSettingsFailure(SettingsFailure failed) { failed_ = std::move(failed); }

  QRadioButton* RadioAll() const { return all_; }
  QRadioButton* RadioLast() const { return last_; }
  QRadioButton* RadioNew() const { return fresh_; }
  QSpinBox* Hours() const { return hours_; }
  QSpinBox* Days() const { return days_; }
  QCheckBox* CheckHourly() const { return hourly_; }
  QCheckBox* CheckDaily() const { return daily_; }
  QCheckBox* CheckMonthly() const { return monthly_; }
  QCheckBox* CheckEvents() const { return events_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RangeClicked();
  void KindClicked();
  SelectStatState State() const;

  IniFile& ini_;
  SettingsFailure failed_;
  ReadChoice previous_;
  QRadioButton* all_ = nullptr;
  QRadioButton* last_ = nullptr;
  QRadioButton* fresh_ = nullptr;  // "Новые записи (с последнего чтения)"
  QRadioButton* dev_ = nullptr;
  QSpinBox* hours_ = nullptr;
  QSpinBox* days_ = nullptr;
  QCheckBox* hourly_ = nullptr;
  QCheckBox* daily_ = nullptr;
  QCheckBox* monthly_ = nullptr;
  QCheckBox* events_ = nullptr;
};

}  // namespace statvtk::app
