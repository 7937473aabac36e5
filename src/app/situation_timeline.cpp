#include "app/situation_timeline.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>

#include "base/device_values.hpp"

namespace statvtk::app {

namespace {

constexpr int kRowHeight = 20;
constexpr int kTop = 4;
constexpr int kAxisHeight = 22;
constexpr int kRight = 12;
constexpr long long kHour = 3600;
constexpr long long kDay = 24 * kHour;

// Flags, events, rule.
const std::array<QColor, 3> kColours = {QColor(0xE0, 0x8A, 0x00), QColor(0xC0, 0x20, 0x20), QColor(0x20, 0x60, 0xC0)};

CivilTime CivilOf(long long seconds) { return DeviceTimeToCivil(static_cast<std::uint32_t>(std::max(0LL, seconds))); }

long long DayStart(long long seconds) { return seconds - seconds % kDay; }

long long NextMonth(long long seconds) {
  const CivilTime t = CivilOf(seconds);
  return t.month == 12 ? CivilToDeviceTime(t.year + 1, 1, 1) : CivilToDeviceTime(t.year, t.month + 1, 1);
}

}  // namespace

SituationTimeline::SituationTimeline(QWidget* parent) : QWidget(parent) {
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SituationTimeline::Show(const QStringList& rows, std::vector<TimelineBar> bars, long long first, long long last) {
  rows_ = rows;
  bars_ = std::move(bars);
  first_ = first;
  last_ = std::max(first, last);
  highlighted_ = -1;
  updateGeometry();
  update();
}

void SituationTimeline::Highlight(int situation) {
  highlighted_ = situation;
  update();
}

QSize SituationTimeline::sizeHint() const {
  return {640, kTop + static_cast<int>(std::max<qsizetype>(rows_.size(), 1)) * kRowHeight + kAxisHeight};
}

QSize SituationTimeline::minimumSizeHint() const { return {320, sizeHint().height()}; }

int SituationTimeline::LabelWidth() const {
  int w = 60;
  for (const QString& r : rows_) w = std::max(w, fontMetrics().horizontalAdvance(r));
  return std::min(w, width() / 3) + 12;
}

// The left edge of an hour; the hour after the last ends the plot.
int SituationTimeline::X(long long seconds) const {
  const int left = LabelWidth();
  const int plot = std::max(1, width() - left - kRight);
  const double span = static_cast<double>(last_ + kHour - first_);
  return left + static_cast<int>(plot * static_cast<double>(seconds - first_) / span);
}

QRect SituationTimeline::BarRect(const TimelineBar& bar) const {
  if (bar.to < first_ || bar.from > last_) return {};
  const int x0 = X(std::max(bar.from, first_));
  const int x1 = X(std::min(bar.to, last_) + kHour);
  return {x0, kTop + bar.row * kRowHeight + 3, std::max(3, x1 - x0), kRowHeight - 6};
}

int SituationTimeline::SituationAt(const QPoint& pos) const {
  // The last drawn bar is on top; a thin bar takes a couple of pixels more.
  for (auto it = bars_.rbegin(); it != bars_.rend(); ++it)
    if (BarRect(*it).adjusted(-2, 0, 2, 0).contains(pos)) return it->situation;
  return -1;
}

void SituationTimeline::PaintAxis(QPainter& p) const {
  const int y = kTop + static_cast<int>(rows_.size()) * kRowHeight;
  const int left = LabelWidth();
  p.setPen(palette().color(QPalette::Mid));
  p.drawLine(left, y, width() - kRight, y);
  // Ticks at day starts every 1, 2, 7 or 14 days, or at month starts: at least 48 pixels apart.
  const double perDay = static_cast<double>(X(first_ + 10 * kDay) - X(first_)) / 10;
  long long step = 0;
  for (const long long days : {1, 2, 7, 14})
    if (perDay * static_cast<double>(days) >= 48) {
      step = days * kDay;
      break;
    }
  int lastLabel = -1000;
  for (long long t = step ? DayStart(first_) : NextMonth(first_ - 1); t <= last_ + kHour;
       t = step ? t + step : NextMonth(t)) {
    if (t < first_) continue;
    const int x = X(t);
    const CivilTime c = CivilOf(t);
    p.setPen(palette().color(QPalette::Midlight));
    p.drawLine(x, kTop, x, y);
    p.setPen(palette().color(QPalette::Text));
    p.drawLine(x, y, x, y + 4);
    if (x - lastLabel < 44 || x + 40 > width()) continue;
    const QString label =
        step ? QStringLiteral("%1.%2").arg(c.day, 2, 10, QLatin1Char('0')).arg(c.month, 2, 10, QLatin1Char('0'))
             : QStringLiteral("%1.%2").arg(c.month, 2, 10, QLatin1Char('0')).arg(c.year % 100, 2, 10, QLatin1Char('0'));
    p.drawText(QRect(x + 2, y + 2, 60, kAxisHeight - 2), Qt::AlignLeft | Qt::AlignVCenter, label);
    lastLabel = x;
  }
}

void SituationTimeline::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int left = LabelWidth();
  p.setPen(palette().color(QPalette::Text));
  if (rows_.isEmpty()) {
    p.drawText(rect().adjusted(8, 0, 0, -kAxisHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Нештатных ситуаций нет"));
  }
  for (int r = 0; r < rows_.size(); ++r) {
    const QRect cell(4, kTop + r * kRowHeight, left - 8, kRowHeight);
    p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
               fontMetrics().elidedText(rows_[r], Qt::ElideRight, cell.width()));
  }
  PaintAxis(p);
  for (const TimelineBar& bar : bars_) {
    const QRect box = BarRect(bar);
    if (box.isEmpty()) continue;
    p.fillRect(box, kColours[static_cast<std::size_t>(std::clamp(bar.source, 0, 2))]);
  }
  for (const TimelineBar& bar : bars_)
    if (bar.situation == highlighted_ && !BarRect(bar).isEmpty()) {
      p.setPen(QPen(palette().color(QPalette::Text), 2));
      p.setBrush(Qt::NoBrush);
      p.drawRect(BarRect(bar).adjusted(-2, -2, 2, 2));
    }
}

void SituationTimeline::mousePressEvent(QMouseEvent* event) {
  const int situation = SituationAt(event->position().toPoint());
  if (situation >= 0) Q_EMIT situationClicked(situation);
  QWidget::mousePressEvent(event);
}

}  // namespace statvtk::app
