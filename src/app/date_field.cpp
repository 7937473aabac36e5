#include "app/date_field.hpp"

#include <QKeyEvent>

namespace statvtk::app {

DateField::DateField(QWidget* parent) : QDateEdit(parent) {
  setDisplayFormat(QStringLiteral("dd.MM.yy"));
  setCalendarPopup(true);
  // A typed date is taken when it is complete (Enter or leaving the field),
  // not after each digit, which the window would correct under the user's hands.
  setKeyboardTracking(false);
  setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
}

void DateField::stepBy(int steps) {
  if (currentSection() != DaySection) {
    QDateEdit::stepBy(steps);
    return;
  }
  const QDate next = date().addDays(steps);
  if (next < minimumDate() || next > maximumDate()) return;
  setDate(next);
  setSelectedSection(DaySection);
}

QAbstractSpinBox::StepEnabled DateField::stepEnabled() const {
  if (currentSection() != DaySection) return QDateEdit::stepEnabled();
  StepEnabled e = StepNone;
  if (date() > minimumDate()) e |= StepDownEnabled;
  if (date() < maximumDate()) e |= StepUpEnabled;
  return e;
}

void DateField::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  const bool separator = text == QStringLiteral(".") || text == QStringLiteral("/") || text == QStringLiteral(",") ||
                         text == QStringLiteral("-");
  if (separator && advancedByDigit_) {
    advancedByDigit_ = false;
    event->accept();
    return;
  }
  const Section before = currentSection();
  QDateEdit::keyPressEvent(event);
  advancedByDigit_ = text.size() == 1 && text.front().isDigit() && currentSection() != before;
}

}  // namespace statvtk::app
