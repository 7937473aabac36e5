// A date field as the program writes dates everywhere: ДД.ММ.ГГ, typed with
// digits and separators or picked from the calendar; the arrows on the day
// move by days across month ends (31.01 → 01.02).
#pragma once

#include <QDateEdit>

namespace statvtk::app {

class DateField : public QDateEdit {
  Q_OBJECT
 public:
  explicit DateField(QWidget* parent = nullptr);
  void stepBy(int steps) override;

 protected:
  StepEnabled stepEnabled() const override;
  // A separator typed right after the digits that completed a section (and
  // moved on to the next one) is the user's own: it does not skip a section.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool advancedByDigit_ = false;
};

}  // namespace statvtk::app
