#include "app/status_panels.hpp"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

namespace statvtk::app {

namespace {
constexpr int kWidths[4] = {300, 120, 70, 50};
}

StatusPanels::StatusPanels(QStatusBar& bar) : bar_(bar) {
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    auto* p = new QLabel(&bar);
    p->setMinimumWidth(kWidths[i]);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar.addWidget(p);
    panels_[i] = p;
  }
  progress_ = new QProgressBar(&bar);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setMaximumHeight(14);
  bar.addWidget(progress_, 1);
  progress_->hide();
  bar.installEventFilter(this);
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &bar_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) Fit(0);
  return QObject::eventFilter(watched, event);
}

QLabel* StatusPanels::Panel(int panel) const {
  return panel >= 0 && panel < 4 ? panels_[static_cast<std::size_t>(panel)] : nullptr;
}

void StatusPanels::SetText(int panel, const QString& text) {
  QLabel* p = Panel(panel);
  if (!p) return;
  texts_[static_cast<std::size_t>(panel)] = text;
  p->setToolTip(text);
  Fit(panel);
  if (panel != 0) Fit(0);  // the room left for panel 0 has changed
}

void StatusPanels::Fit(int panel) {
  QLabel* p = panels_[static_cast<std::size_t>(panel)];
  const QString& text = texts_[static_cast<std::size_t>(panel)];
  const int margins = 2 * p->frameWidth() + 8;
  int needed = p->fontMetrics().horizontalAdvance(text) + margins;
  if (panel == 0) {
    // The others, the result bar, a visible progress bar and the bar's own
    // margins keep their room.
    int others = 0;
    for (std::size_t i = 1; i < panels_.size(); ++i) others += panels_[i]->minimumWidth() + 8;
    for (QWidget* w : bar_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w != progress_ && w->isVisibleTo(&bar_) && std::find(panels_.begin(), panels_.end(), w) == panels_.end())
        others += w->sizeHint().width() + 8;
    if (progress_->isVisibleTo(&bar_)) others += 120;
    const int room = std::max(100, bar_.width() - others - 24);
    if (needed > room) {
      p->setText(p->fontMetrics().elidedText(text, Qt::ElideMiddle, room - margins));
      p->setMinimumWidth(room);
      return;
    }
    p->setText(text);
    p->setMinimumWidth(std::min(std::max(kWidths[0], needed), room));
    return;
  }
  p->setText(text);
  p->setMinimumWidth(std::max(kWidths[panel], needed));
}

QString StatusPanels::Text(int panel) const {
  return Panel(panel) ? texts_[static_cast<std::size_t>(panel)] : QString();
}

void StatusPanels::ShowProgress(int pos, int max) {
  progress_->setRange(0, std::max(max, 1));
  progress_->setValue(std::clamp(pos, 0, std::max(max, 1)));
  if (!progress_->isVisibleTo(&bar_)) {
    progress_->show();
    Fit(0);
  }
}

void StatusPanels::HideProgress() {
  progress_->setValue(0);
  if (progress_->isVisibleTo(&bar_)) {
    progress_->hide();
    Fit(0);
  }
}

}  // namespace statvtk::app
