#include "app/result_bar.hpp"

#include <QHBoxLayout>
#include <QToolButton>
#include <QUrl>

#include "app/path_text.hpp"
#include "app/ui_seam.hpp"

namespace statvtk::app {

ResultBar::ResultBar(UiSeam& ui, QWidget* parent) : QWidget(parent), ui_(ui) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
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
  hide();
}

void ResultBar::Offer(const std::filesystem::path& file) {
  file_ = file;
  const QString shown = PathText(file);
  openFile_->setToolTip(shown);
  openFolder_->setToolTip(PathText(file.parent_path()));
  show();
}

void ResultBar::Clear() {
  file_.clear();
  hide();
}

void ResultBar::Open(const std::filesystem::path& path) {
  if (path.empty()) return;
  const QString shown = PathText(path);
  if (!ui_.OpenExternally(QUrl::fromLocalFile(shown)))
    ui_.Warn(window(), QStringLiteral("StatVTK"), QStringLiteral("Не удалось открыть ") + shown);
}

}  // namespace statvtk::app
