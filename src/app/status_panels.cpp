#include "app/status_panels.hpp"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

namespace statvtk::app {

namespace {
constexpr int kWidths[4] = {300, 120, 70, 50};
}

StatusPanels::StatusPanels(QStatusBar& bar) {
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
}

QLabel* StatusPanels::Panel(int panel) const {
  return panel >= 0 && panel < 4 ? panels_[static_cast<std::size_t>(panel)] : nullptr;
}

void StatusPanels::SetText(int panel, const QString& text) {
  QLabel* p = Panel(panel);
  if (!p) return;
  p->setText(text);
  p->setToolTip(text);
  const int needed = p->fontMetrics().horizontalAdvance(text) + 2 * p->frameWidth() + 8;
  p->setMinimumWidth(std::max(kWidths[panel], needed));
}

QString StatusPanels::Text(int panel) const {
  const QLabel* p = Panel(panel);
  return p ? p->text() : QString();
}

void StatusPanels::ShowProgress(int pos, int max) {
  progress_->setRange(0, std::max(max, 1));
  progress_->setValue(std::clamp(pos, 0, std::max(max, 1)));
  progress_->show();
}

void StatusPanels::HideProgress() {
  progress_->setValue(0);
  progress_->hide();
}

}  // namespace statvtk::app
