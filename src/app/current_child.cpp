#include "app/current_child.hpp"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSpinBox>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#include "app/app_services.hpp"
#include "app/child_activation.hpp"

namespace statvtk::app {

namespace {
constexpr int kDefaultPeriod = 60;  // seconds
}

CurrentWindow::CurrentWindow(AppServices& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Текущие показания"));
  values_ = new QGroupBox(this);
  auto* valuesBox = new QVBoxLayout(values_);
  rows_ = new QWidget(values_);
  valuesBox->addWidget(rows_);

  state_ = new QLabel(QStringLiteral("Ожидание данных"), this);
  state_->setWordWrap(true);

  interval_ = new QSpinBox(this);
  interval_->setRange(10, 3600);
  interval_->setValue(kDefaultPeriod);
  auto* periodRow = new QHBoxLayout();
  periodRow->addWidget(new QLabel(QStringLiteral("Интервал опроса, сек"), this));
  periodRow->addWidget(interval_);
  periodRow->addStretch(1);

  timer_ = new QTimer(this);
  timer_->setInterval(kDefaultPeriod * 1000);
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  connect(interval_, &QSpinBox::valueChanged, this, [this](int seconds) { timer_->setInterval(seconds * 1000); });

  auto* box = new QVBoxLayout(this);
  box->addWidget(values_);
  box->addLayout(periodRow);
  box->addWidget(state_);
  box->addStretch(1);
  resize(420, 320);
}

QLabel* CurrentWindow::Value(const QString& name) const { return labels_.value(name, nullptr); }

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
  }
  // The model's group caption ("Текущий массовый расход", "Напряжение питания")
  // names the LabelM row alone, which carries it as its caption.
  for (const CurrentLabel& l : view.labels) labels_.value(QString::fromStdString(l.name))->setText(QString::fromStdString(l.text));
}

void CurrentWindow::ShowCurrent(std::span<const std::uint8_t, 1024> block, DeviceType type, const std::string& serial) {
  type_ = type;
  setWindowTitle(QString::fromStdString(CurrentReadingsCaption(serial)));
  ShowView(UpdateData(block, type));
  state_->setText(QStringLiteral("Обновлено в ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
  state_->setStyleSheet(QString());
  timer_->start();
}

void CurrentWindow::RefreshFailed(const QString& reason) {
  // The values stay as last read; the failure and its time are shown and the
  // next period tries again.
  state_->setText(QStringLiteral("Ошибка обновления в ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) +
                  QStringLiteral(": ") + reason + QStringLiteral(". Повтор через ") +
                  QString::number(interval_->value()) + QStringLiteral(" с"));
  state_->setStyleSheet(QStringLiteral("color: #b00000"));
  ++failures_;
  timer_->start();
}

void CurrentWindow::Tick() {
  timer_->stop();
  const int failuresBefore = failures_;
  if (!app_.StartCurrentRefresh(*this)) {
    timer_->start();
    if (failures_ != failuresBefore) return;  // the frame said why already
    // Another job holds the link: try again at the next period.
    state_->setText(QStringLiteral("Идет другое чтение; повтор через ") + QString::number(interval_->value()) +
                    QStringLiteral(" с"));
    return;
  }
  state_->setText(QStringLiteral("Обновление..."));
  state_->setStyleSheet(QString());
}

void CurrentWindow::closeEvent(QCloseEvent* event) {
  timer_->stop();
  app_.ChildClosed(this);
  event->accept();
}

void CurrentWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FollowActivation(this, app_);
}

void CurrentWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape)
    CloseChild(this);
  else
    QWidget::keyPressEvent(event);
}

}  // namespace statvtk::app
