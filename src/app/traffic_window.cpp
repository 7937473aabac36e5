// The traffic monitor.
#include "app/traffic_window.hpp"

#include <QAction>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>

#include <chrono>
#include <span>

#include "app/log_window.hpp"
#include "app/path_text.hpp"
#include "app/ui_seam.hpp"
#include "base/program_home.hpp"
#include "reports/file_io.hpp"
#include "link/frame_trace.hpp"

namespace statvtk::app {

namespace {
constexpr int kMaxLines = 5000;  // older lines scroll away
}

QString TrafficLine(const TrafficEntry& e) {
  FrameTrace f;
  f.when = std::chrono::system_clock::time_point(std::chrono::milliseconds(e.when.toMSecsSinceEpoch()));
  f.direction = e.direction;
  f.bytes =
      std::span(reinterpret_cast<const std::uint8_t*>(e.bytes.constData()), static_cast<std::size_t>(e.bytes.size()));
  f.result = e.result;
  return QString::fromStdString(FrameTraceLine(f));
}

TrafficWindow::TrafficWindow(UiSeam& ui, std::filesystem::path home, QWidget* parent)
    : QWidget(parent), ui_(ui), home_(std::move(home)) {
  setWindowTitle(QStringLiteral("Монитор обмена"));
  const TextPane pane = MakeTextPane(this);
  QAction* save = pane.bar->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Сохранить"));
  save->setToolTip(QStringLiteral("Сохранить в текстовый файл"));
  connect(save, &QAction::triggered, this, &TrafficWindow::Save);
  QAction* clear = pane.bar->addAction(style()->standardIcon(QStyle::SP_DialogResetButton), QStringLiteral("Очистить"));
  clear->setToolTip(QStringLiteral("Очистить"));
  view_ = pane.view;
  view_->setMaximumBlockCount(kMaxLines);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  connect(clear, &QAction::triggered, this, &TrafficWindow::Clear);
  resize(760, 300);
}

void TrafficWindow::Save() {
  const std::filesystem::path proposed = LogsFolder(home_) / "traffic.txt";
  const QString name = ui_.SaveFileName(this, QStringLiteral("Сохранить обмен"), PathText(proposed),
                                        QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
  if (name.isEmpty()) return;
  const std::string text = (Text() + QStringLiteral("\n")).toStdString();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (const Result<void> written = WriteFileAtomically(PathOf(name), std::span(bytes, text.size())); !written)
    ui_.Warn(this, QStringLiteral("Монитор обмена"),
             QStringLiteral("Не удалось записать файл ") + name + QStringLiteral(": ") +
                 QString::fromStdString(written.error().reason));
}

void TrafficWindow::Add(const TrafficEntry& e) {
  // The newest frame stays in view unless the user has scrolled up to read.
  QScrollBar* bar = view_->verticalScrollBar();
  const bool following = bar->value() >= bar->maximum();
  view_->appendPlainText(TrafficLine(e));
  if (following) bar->setValue(bar->maximum());
}
void TrafficWindow::Clear() { view_->clear(); }
QString TrafficWindow::Text() const { return view_->toPlainText(); }
int TrafficWindow::LineCount() const { return view_->toPlainText().isEmpty() ? 0 : view_->blockCount(); }

}  // namespace statvtk::app
