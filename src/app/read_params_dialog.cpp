// The read parameters dialog.
#include "app/read_params_dialog.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "base/ini_file.hpp"

namespace statvtk::app {

ReadParamsDialog::ReadParamsDialog(IniFile& ini, const ReadChoice& previous, QWidget* parent)
    : QDialog(parent), ini_(ini), previous_(previous) {
  setWindowTitle(QStringLiteral("Параметры чтения"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint);

  auto* range = new QGroupBox(this);
  auto* rg = new QGridLayout(range);
  all_ = new QRadioButton(QStringLiteral("Вся статистика"), range);
  last_ = new QRadioButton(QStringLiteral("Последних"), range);
  fresh_ = new QRadioButton(QStringLiteral("Новые записи (с последнего чтения)"), range);
  fresh_->setToolTip(
      QStringLiteral("Только записи, появившиеся после последнего прочитанного файла этого прибора в Data"));
  dev_ = new QRadioButton(QStringLiteral("Выбор из прибора"), range);
  dev_->setEnabled(false);
  dev_->hide();
  auto* group = new QButtonGroup(this);
  group->addButton(all_);
  group->addButton(last_);
  group->addButton(fresh_);
  group->addButton(dev_);
  hours_ = new QSpinBox(range);
  hours_->setRange(0, 1536);
  hours_->setValue(previous.hours);
  hours_->setEnabled(false);
  days_ = new QSpinBox(range);
  days_->setRange(0, 384);
  days_->setValue(previous.days);
  days_->setEnabled(false);
  rg->addWidget(all_, 0, 0, 1, 5);
  rg->addWidget(last_, 1, 0);
  rg->addWidget(hours_, 1, 1);
  rg->addWidget(new QLabel(QStringLiteral("час., "), range), 1, 2);
  rg->addWidget(days_, 1, 3);
  rg->addWidget(new QLabel(QStringLiteral("сут. записей "), range), 1, 4);
  rg->addWidget(fresh_, 2, 0, 1, 5);

  auto* kinds = new QGroupBox(this);
  auto* kg = new QHBoxLayout(kinds);
  hourly_ = new QCheckBox(QStringLiteral("Часовые"), kinds);
  daily_ = new QCheckBox(QStringLiteral("Суточные"), kinds);
  daily_->setChecked(true);
  monthly_ = new QCheckBox(QStringLiteral("Месячные"), kinds);
  events_ = new QCheckBox(QStringLiteral("События"), kinds);
  for (auto* c : {hourly_, daily_, monthly_, events_}) kg->addWidget(c);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = buttons->addButton(QStringLiteral("O&K"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* box = new QVBoxLayout(this);
  box->addWidget(range);
  box->addWidget(kinds);
  box->addWidget(buttons);
  box->setSizeConstraint(QLayout::SetFixedSize);

  for (auto* r : {all_, last_, fresh_, dev_}) connect(r, &QRadioButton::clicked, this, &ReadParamsDialog::RangeClicked);
  for (auto* c : {hourly_, daily_, monthly_, events_})
    connect(c, &QCheckBox::clicked, this, &ReadParamsDialog::KindClicked);
  LoadFromSettings();
}

void ReadParamsDialog::LoadFromSettings() {
  const SelectStatState s = LoadSelectStat(ini_);
  // Setting the buttons from the file writes back what it read, as a click would.
  if (s.all) {
    all_->setChecked(true);
    RangeClicked();
  } else if (s.last) {
    last_->setChecked(true);
    RangeClicked();
  } else if (s.newRecords) {
    fresh_->setChecked(true);
    RangeClicked();
  } else {
    for (auto* r : {all_, last_, fresh_, dev_})
      r->setAutoExclusive(false), r->setChecked(false), r->setAutoExclusive(true);
  }
  // Without a stored choice (a fresh home) "Вся статистика" means all of it:
  // every kind is checked, so the first full read misses nothing.
  if (!ini_.ValueExists(kSelectSection, "RecType")) {
    for (auto* c : {hourly_, daily_, monthly_, events_}) c->setChecked(true);
    return;
  }
  hourly_->setChecked(s.kinds.hourly);
  daily_->setChecked(s.kinds.daily);
  monthly_->setChecked(s.kinds.monthly);
  events_->setChecked(s.kinds.events);
}

void ReadParamsDialog::showEvent(QShowEvent* event) {
  LoadFromSettings();
  QDialog::showEvent(event);
}

void ReadParamsDialog::RangeClicked() {
  if (last_->isChecked()) {
    SettingsWritten(StoreRadioButton(ini_, true), failed_);
    hours_->setEnabled(true);
    days_->setEnabled(true);
  } else if (all_->isChecked()) {
    SettingsWritten(StoreRadioButton(ini_, false), failed_);
    // The counts mean nothing for the whole archives.
    hours_->setEnabled(false);
    days_->setEnabled(false);
  } else if (fresh_->isChecked()) {
    SettingsWritten(StoreReadRange(ini_, ReadRange::New), failed_);
    // Nor for the records since the last read.
    hours_->setEnabled(false);
    days_->setEnabled(false);
  }
}

void ReadParamsDialog::KindClicked() { SettingsWritten(StoreRecType(ini_, State().kinds), failed_); }

SelectStatState ReadParamsDialog::State() const {
  SelectStatState s;
  s.all = all_->isChecked();
  s.last = last_->isChecked();
  s.newRecords = fresh_->isChecked();
  s.kinds = {hourly_->isChecked(), daily_->isChecked(), monthly_->isChecked(), events_->isChecked()};
  return s;
}

ReadChoice ReadParamsDialog::Choice() const {
  ReadChoice c = previous_;
  c.Accept(State(), static_cast<std::int16_t>(hours_->value()), static_cast<std::int16_t>(days_->value()));
  return c;
}

}  // namespace statvtk::app
