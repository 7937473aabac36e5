#include "app/result_bar.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include "app/path_text.hpp"
#include "app/ui_seam.hpp"

namespace statvtk::app {

ResultBar::ResultBar(UiSeam& ui, QWidget* parent) : QWidget(parent), ui_(ui) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  icon_ = new QLabel(this);
  icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16, 16));
  row->addWidget(icon_);
  message_ = new QLabel(this);
  message_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
  row->addWidget(message_);
  openFile_ = new QToolButton(this);
  openFile_->setText(QStringLiteral("Открыть файл"));
  openFolder_ = new QToolButton(this);
  openFolder_->setText(QStringLiteral("Открыть папку"));
  for (QToolButton* b : {openFile_, openFolder_}) {
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    row->addWidget(b);
  }
  connect(openFile_, &QToolButton::clicked, this, [this] { Open(file_); });
  connect(openFolder_, &QToolButton::clicked, this, [this] { Open(file_.parent_path()); });
  Refresh();
}

// Shown with what it has: a failure, a file, or both; hidden with neither.
void ResultBar::Refresh() {
  const bool failed = !failure_.isEmpty(), offered = !file_.empty();
  icon_->setVisible(failed);
  message_->setVisible(failed);
  openFile_->setVisible(offered);
  openFolder_->setVisible(offered);
  setVisible(failed || offered);
}

void ResultBar::ShowFailure(const QString& text) {
  failure_ = text;
  // The status bar keeps room for its panels: a long message loses its end here.
  constexpr int kWidest = 380;
  message_->setText(message_->fontMetrics().elidedText(text, Qt::ElideRight, kWidest));
  message_->setToolTip(text);
  icon_->setToolTip(text);
  Refresh();
}

void ResultBar::Offer(const std::filesystem::path& file) {
  file_ = file;
  failure_.clear();
  const QString shown = PathText(file);
  openFile_->setToolTip(shown);
  openFolder_->setToolTip(PathText(file.parent_path()));
  Refresh();
}

void ResultBar::Clear() {
  file_.clear();
  failure_.clear();
  message_->clear();
  Refresh();
}

void ResultBar::Open(const std::filesystem::path& path) {
  if (path.empty()) return;
  const QString shown = PathText(path);
  if (!ui_.OpenExternally(QUrl::fromLocalFile(shown)))
    ui_.Warn(window(), QStringLiteral("StatVTK"), QStringLiteral("Не удалось открыть ") + shown);
}

}  // namespace statvtk::app
