#include "app/volume_chart.hpp"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace statvtk::app {

namespace {

const QColor kForwardColor(0x20, 0x9f, 0xdf);
const QColor kReverseColor(0x99, 0xca, 0x53);
constexpr int kMargin = 6;
constexpr int kTicks = 5;  // value axis divisions

QString ValueText(double v) { return QString::number(v, 'f', 1); }

}  // namespace

// Where the parts of the chart go for the widget's current size.
struct VolumeChart::Layout {
  QRect title;
  QRect plot;  // the bars' area, without axes
  int labelTop = 0;
  int legendTop = 0;
  int step = 1;   // every step-th label is written
  int ticks = 1;  // value axis divisions
};

VolumeChart::VolumeChart(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(180);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  Show({});
}

QFont VolumeChart::LabelFont() const {
  QFont f = font();
  // Hourly charts carry 24 labels: a smaller font keeps them readable.
  if (labels_.size() > 12) f.setPointSizeF(f.pointSizeF() * 0.8);
  return f;
}

VolumeChart::Layout VolumeChart::Measure() const {
  Layout l;
  const QFontMetrics fm(font());
  const QFontMetrics lm(LabelFont());
  const int titleLines = static_cast<int>(title_.count(QLatin1Char('\n'))) + 1;
  l.title = QRect(kMargin, kMargin, width() - 2 * kMargin, titleLines * fm.height());
  int axisWidth = fm.horizontalAdvance(QStringLiteral("м3"));
  // (The widest of the finest division's values: fewer divisions are no wider.)
  for (int i = 0; i <= kTicks; ++i)
    axisWidth = std::max(axisWidth, fm.horizontalAdvance(ValueText(bottom_ + (top_ - bottom_) * i / kTicks)));
  const int left = kMargin + axisWidth + 6;
  const int legendHeight = fm.height() + 4;
  l.legendTop = height() - kMargin - legendHeight;
  l.labelTop = l.legendTop - lm.height() - 4;
  // Room above the plot for "м3" over the top value, which is centred on the edge.
  const int top = l.title.bottom() + 8 + fm.height() + fm.height() / 2;
  l.plot = QRect(QPoint(left, top), QPoint(width() - kMargin - 4, l.labelTop - 4));
  // A low chart (a small screen) gets fewer divisions: each value keeps its line.
  l.ticks = std::clamp(l.plot.height() / (fm.height() + 2), 1, kTicks);
  if (!labels_.isEmpty()) {
    int widest = 0;
    for (const QString& s : labels_) widest = std::max(widest, lm.horizontalAdvance(s));
    const int available = std::max(1, l.plot.width());
    const auto n = static_cast<int>(labels_.size());
    l.step = std::max(1, (n * (widest + 8) + available - 1) / available);
  }
  return l;
}

QList<int> VolumeChart::ValueTickYs() const {
  const Layout l = Measure();
  QList<int> ys;
  for (int i = 0; i <= l.ticks; ++i)
    ys << l.plot.bottom() - static_cast<int>(std::lround(static_cast<double>(l.plot.height()) * i / l.ticks));
  return ys;
}

QStringList VolumeChart::ShownCategories() const {
  const int step = Measure().step;
  QStringList shown;
  for (int i = 0; i < labels_.size(); ++i) shown << (i % step == 0 ? labels_[i] : QString());
  return shown;
}

void VolumeChart::Show(const VolumeSeries& s) {
  // A series without bars may still say why (an image without a valid record).
  title_ =
      s.bars.empty() && s.title.empty() ? QStringLiteral("Нет данных для графика") : QString::fromStdString(s.title);
  if (!s.note.empty()) title_ += QStringLiteral("\n") + QString::fromStdString(s.note);
  labels_.clear();
  forward_.clear();
  reverse_.clear();
  records_.clear();
  known_.clear();
  double top = 0, bottom = 0;  // a counter reset may give a negative increment
  for (const VolumeBar& b : s.bars) {
    labels_ << QString::fromStdString(b.label);
    // A period without a known increment gets no bar (a zero height).
    forward_ << (b.HasValue() ? b.forward : 0.0);
    reverse_ << (b.HasValue() ? b.reverse : 0.0);
    records_ << b.records;
    known_ << b.HasValue();
    top = std::max({top, b.forward, b.reverse});
    bottom = std::min({bottom, b.forward, b.reverse});
  }
  bottom_ = bottom * 1.1;
  top_ = top > 0 ? top * 1.1 : 1.0;
  update();
}

QString VolumeChart::BarTip(const QPoint& pos) const {
  const Layout l = Measure();
  const auto n = static_cast<int>(labels_.size());
  if (n == 0 || pos.x() < l.plot.left() || pos.x() > l.plot.right() || pos.y() < l.plot.top() ||
      pos.y() > l.labelTop + QFontMetrics(LabelFont()).height())
    return {};
  const int i = std::clamp(static_cast<int>((pos.x() - l.plot.left()) * n / std::max(1, l.plot.width())), 0, n - 1);
  if (records_[i] == 0) return labels_[i] + QStringLiteral(": нет данных");
  if (!known_[i]) return labels_[i] + QStringLiteral(": приращение неизвестно (нет предыдущей записи)");
  return labels_[i] + QStringLiteral("\nV+: %1 м3\nV-: %2 м3").arg(forward_[i], 0, 'f', 3).arg(reverse_[i], 0, 'f', 3);
}

bool VolumeChart::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = BarTip(help->pos());
    if (tip.isEmpty()) QToolTip::showText(help->globalPos(), title_, this);
    else QToolTip::showText(help->globalPos(), tip, this);
    return true;
  }
  return QWidget::event(event);
}

void VolumeChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const Layout l = Measure();
  const QPalette pal = palette();
  p.setPen(pal.color(QPalette::Text));
  p.drawText(l.title, Qt::AlignHCenter | Qt::AlignTop, title_);
  if (l.plot.width() < 10 || l.plot.height() < 10) return;

  // Value axis: grid lines and their values, "м3" above.
  const QFontMetrics fm(font());
  const auto yOf = [&](double v) { return l.plot.bottom() - (v - bottom_) / (top_ - bottom_) * l.plot.height(); };
  p.drawText(QRect(kMargin, l.plot.top() - fm.height() / 2 - fm.height() - 1, l.plot.left() - kMargin - 6, fm.height()),
             Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("м3"));
  const QList<int> ticks = ValueTickYs();
  for (int i = 0; i < ticks.size(); ++i) {
    const double v = bottom_ + (top_ - bottom_) * i / l.ticks;
    const int y = ticks[i];
    p.setPen(QPen(pal.color(QPalette::Mid), 0, Qt::DotLine));
    p.drawLine(l.plot.left(), y, l.plot.right(), y);
    p.setPen(pal.color(QPalette::Text));
    p.drawText(QRect(kMargin, y - fm.height() / 2, l.plot.left() - kMargin - 6, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, ValueText(v));
  }
  p.setPen(pal.color(QPalette::Text));
  p.drawLine(l.plot.bottomLeft(), l.plot.topLeft());
  const int zero = static_cast<int>(std::lround(yOf(0)));
  p.drawLine(l.plot.left(), zero, l.plot.right(), zero);

  // Bars: each period gets a slot with V+ and V- side by side.
  const auto n = static_cast<int>(labels_.size());
  if (n > 0) {
    const double slot = static_cast<double>(l.plot.width()) / n;
    const double bar = std::max(1.0, slot * 0.35);
    p.setFont(LabelFont());
    const QFontMetrics lm(p.font());
    for (int i = 0; i < n; ++i) {
      const double x = l.plot.left() + slot * i + slot / 2;
      const auto drawBar = [&](double left, double v, const QColor& c) {
        if (v == 0) return;
        const double y = yOf(v);
        p.fillRect(QRectF(QPointF(left, std::min<double>(y, zero)), QPointF(left + bar, std::max<double>(y, zero))), c);
      };
      // A period without any record is shaded, so a gap never looks like zero flow.
      if (records_[i] == 0)
        p.fillRect(QRectF(l.plot.left() + slot * i + 1, l.plot.top(), std::max(1.0, slot - 2), l.plot.height()),
                   QColor(0xE8, 0xE8, 0xE8));
      drawBar(x - bar, forward_[i], kForwardColor);
      drawBar(x, reverse_[i], kReverseColor);
      if (i % l.step == 0) {
        const int w = lm.horizontalAdvance(labels_[i]);
        p.drawText(QRect(static_cast<int>(x) - w / 2 - 1, l.labelTop, w + 2, lm.height()), Qt::AlignCenter, labels_[i]);
      }
    }
    p.setFont(font());
  }

  // Legend, centred at the bottom.
  const QString names[] = {QStringLiteral("V+, м3"), QStringLiteral("V-, м3")};
  const QColor colors[] = {kForwardColor, kReverseColor};
  const int box = fm.height() - 4;
  int total = 0;
  for (const QString& s : names) total += box + 4 + fm.horizontalAdvance(s) + 16;
  int x = (width() - total + 16) / 2;
  for (int i = 0; i < 2; ++i) {
    p.fillRect(QRect(x, l.legendTop + 2, box, box), colors[i]);
    x += box + 4;
    p.drawText(QRect(x, l.legendTop, fm.horizontalAdvance(names[i]) + 1, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               names[i]);
    x += fm.horizontalAdvance(names[i]) + 16;
  }
}

}  // namespace statvtk::app
