#include "app/current_window.hpp"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/app_services.hpp"
#include "app/child_geometry.hpp"

namespace statvtk::app {

namespace {
constexpr int kDefaultPeriod = 60;  // seconds
QString Now() { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")); }

void ReplaceUnit(std::string& text, const std::string& from, const std::string& to) {
  if (text.size() >= from.size() && text.compare(text.size() - from.size(), from.size(), from) == 0)
    text.replace(text.size() - from.size(), from.size(), to);
}

// The window's wording of a few values: masses in tonnes (the primed mass
// integrators too), the temperature in °C, and the instrument's date and time
// as "DD.MM.YY hh:mm:ss" for every model, as dates read everywhere in the program.
CurrentView Shown(CurrentView view, std::span<const std::uint8_t, 1024> b, DeviceType type) {
  char date[48];
  if (type == DeviceType::dtLDN08) {
    constexpr std::size_t R = 512;
    std::snprintf(date, sizeof date, "%.02d.%.02d.%.02d %.02d:%.02d:%.02d", b[R + 43], b[R + 44], b[R + 45], b[R + 42],
                  b[R + 41], b[R + 40]);
  } else {
    std::snprintf(date, sizeof date, "%.02X.%.02X.%.02X %.02X:%.02X:%.02X", b[4], b[5], b[6], b[2], b[1], b[0]);
  }
  for (CurrentLabel& l : view.labels) {
    if (l.name == "LabelMp_" || l.name == "LabelMm_") ReplaceUnit(l.text, " м3", " т");
    if (l.name == "LabelT") ReplaceUnit(l.text, " C", " °C");
    if (l.name == "Label_Curr_Time") l.text = date;
  }
  return view;
}
}  // namespace

CurrentWindow::CurrentWindow(AppServices& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Текущие показания"));
  values_ = new QGroupBox(this);
  auto* valuesBox = new QVBoxLayout(values_);
  rows_ = new QWidget(values_);
  valuesBox->addWidget(rows_);

  state_ = new QLabel(QStringLiteral("Ожидание данных"), this);
  state_->setWordWrap(true);
  resume_ = new QPushButton(QStringLiteral("Возобновить опрос"), this);
  resume_->setToolTip(QStringLiteral("Прочитать текущие показания сейчас и продолжить опрос (Ctrl+T)"));
  resume_->hide();
  connect(resume_, &QPushButton::clicked, this, [this] { ResumePolling(); });

  interval_ = new QSpinBox(this);
  interval_->setRange(10, 3600);
  interval_->setValue(kDefaultPeriod);
  auto* periodRow = new QHBoxLayout();
  periodRow->addWidget(new QLabel(QStringLiteral("Интервал опроса, сек"), this));
  periodRow->addWidget(interval_);
  periodRow->addStretch(1);
  periodRow->addWidget(resume_);

  timer_ = new QTimer(this);
  timer_->setInterval(kDefaultPeriod * 1000);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  connect(interval_, &QSpinBox::valueChanged, this, [this](int seconds) { timer_->setInterval(seconds * 1000); });

  auto* box = new QVBoxLayout(this);
  box->addWidget(values_, 1);
  box->addLayout(periodRow);
  box->addWidget(state_);
}

QLabel* CurrentWindow::Value(const QString& name) const { return labels_.value(name, nullptr); }

void CurrentWindow::SetState(const QString& text, bool failure) {
  state_->setText(text);
  state_->setStyleSheet(failure ? QStringLiteral("color: #b00000") : QString());
}

void CurrentWindow::SetStale(bool stale) {
  stale_ = stale;
  for (QLabel* l : std::as_const(labels_)) l->setStyleSheet(stale ? QStringLiteral("color: #808080") : QString());
}

void CurrentWindow::SetPolling(bool on) {
  if (polling_ == on) return;
  polling_ = on;
  resume_->setVisible(!on);
  app_.PollingChanged();
}

void CurrentWindow::ShowView(const CurrentView& view) {
  // A different set of labels (another model): build the rows anew.
  bool same = static_cast<int>(view.labels.size()) == labels_.size();
  for (const CurrentLabel& l : view.labels) same = same && labels_.contains(QString::fromStdString(l.name));
  if (!same) {
    labels_.clear();
    auto* fresh = new QWidget(values_);
    auto* grid = new QGridLayout(fresh);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    for (const CurrentLabel& l : view.labels) {
      auto* value = new QLabel(fresh);
      value->setObjectName(QString::fromStdString(l.name));
      value->setTextInteractionFlags(Qt::TextSelectableByMouse);
      value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(new QLabel(QString::fromStdString(l.caption).trimmed(), fresh), row, 0);
      grid->addWidget(value, row, 1);
      labels_.insert(value->objectName(), value);
      ++row;
    }
    // The layout hands back the old row widget's item: ours to free.
    const std::unique_ptr<QLayoutItem> old(values_->layout()->replaceWidget(rows_, fresh));
    rows_->deleteLater();
    rows_ = fresh;
    // A widget made inside a window already shown stays hidden until told.
    rows_->show();
  }
  // The model's group caption ("Текущий массовый расход", "Напряжение питания")
  // names the LabelM row alone, which carries it as its caption.
  for (const CurrentLabel& l : view.labels)
    labels_.value(QString::fromStdString(l.name))->setText(QString::fromStdString(l.text));
}

// The window (and its frame in the multi-document area) grows to show every
// value and the whole caption; it never shrinks what the user made larger.
void CurrentWindow::FitToContents() {
  rows_->layout()->invalidate();
  values_->layout()->invalidate();
  layout()->invalidate();
  layout()->activate();
  QSize want = sizeHint().expandedTo(layout()->totalSizeHint());
  const int captionWidth = fontMetrics().horizontalAdvance(windowTitle()) + 120;  // the frame's buttons
  want.setWidth(std::max(want.width(), captionWidth));
  setMinimumSize(minimumSizeHint());
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    const QSize frame = sub->size() - size();
    sub->resize(sub->size().expandedTo(want + frame).expandedTo(sub->sizeHint()));
    KeepInside(*sub);
  } else {
    resize(size().expandedTo(want));
  }
}

void CurrentWindow::ShowCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) {
  type_ = type;
  // The frame may have named the window more fully (model, address) already.
  const QString caption = QString::fromStdString(CurrentReadingsCaption(serial));
  if (!windowTitle().startsWith(caption)) setWindowTitle(caption);
  ShowView(Shown(UpdateData(block, type), block, type));
  // Only a change of state goes to the log: the values again after failures.
  if (stale_) app_.Log(windowTitle() + QStringLiteral(": показания снова читаются"));
  SetStale(false);
  updated_ = Now();
  FitToContents();
  // Once more when the new rows have been laid out by the event loop.
  QTimer::singleShot(0, this, [this] { FitToContents(); });
  if (!polling_) return;  // stopped meanwhile: the values are shown, the poll stays stopped
  SetState(QStringLiteral("Обновлено в ") + Now(), false);
  timer_->start();
}

void CurrentWindow::RefreshFailed(const QString& reason) {
  // The values stay as last read; the failure and its time are shown and the
  // next period tries again.
  ++failures_;
  if (!polling_) return;
  SetStale(true);
  const QString dated =
      updated_.isEmpty() ? QString() : QStringLiteral(" Показаны значения на ") + updated_ + QStringLiteral(".");
  SetState(QStringLiteral("Ошибка обновления в ") + Now() + QStringLiteral(": ") + reason +
               QStringLiteral(". Повтор через ") + QString::number(interval_->value()) + QStringLiteral(" с.") + dated,
           true);
  timer_->start();
}

void CurrentWindow::Tick() {
  timer_->stop();
  if (!polling_) return;
  const int failuresBefore = failures_;
  if (!app_.StartCurrentRefresh(*this)) {
    if (!polling_) return;  // the user has stopped reading
    timer_->start();
    if (failures_ != failuresBefore) return;  // the frame said why already
    // Another job holds the link: try again at the next period.
    SetState(QStringLiteral("Идет другое чтение; повтор через ") + QString::number(interval_->value()) +
                 QStringLiteral(" с"),
             false);
    return;
  }
  SetState(QStringLiteral("Обновление..."), false);
}

void CurrentWindow::StopPolling() {
  timer_->stop();
  SetState(QStringLiteral("Опрос остановлен в ") + Now() +
               QStringLiteral(". Продолжить: кнопка \"Возобновить опрос\" или Ctrl+T"),
           false);
  SetPolling(false);
}

void CurrentWindow::ResumePolling() {
  if (polling_) return;
  SetPolling(true);
  if (app_.ResumeCurrentRefresh(*this)) {
    SetState(QStringLiteral("Обновление..."), false);
  } else {
    SetState(QStringLiteral("Идет другое чтение; повтор через ") + QString::number(interval_->value()) +
                 QStringLiteral(" с"),
             false);
    timer_->start();
  }
}

}  // namespace statvtk::app
