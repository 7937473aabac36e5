// The help window.
#include "app/help_window.hpp"

#include <QCoreApplication>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/path_text.hpp"
#include "app/ui_seam.hpp"
#include "base/install_layout.hpp"
#include "base/program_home.hpp"

namespace statvtk::app {

std::filesystem::path UserGuidePath() {
  std::error_code ec;
  std::vector<std::filesystem::path> places;
  const auto exe = ExecutablePath();
  if (!exe.empty()) {
    places.push_back(statvtk::UserGuidePath(exe));  // an install, wherever it was put
    places.push_back(exe.parent_path() / "user-guide.md");
  }
  places.emplace_back(STATVTK_SOURCE_DOC_DIR "/user-guide.md");
  for (const auto& p : places)
    if (std::filesystem::is_regular_file(p, ec)) return p;
  return {};
}

HelpWindow* HelpWindow::Make(UiSeam& ui, QWidget* owner) {
  const auto guide = UserGuidePath();
  if (guide.empty()) return nullptr;
  return new HelpWindow(ui, guide, owner);
}

HelpWindow::HelpWindow(UiSeam& ui, const std::filesystem::path& guide, QWidget* owner)
    : QWidget(owner, Qt::Window), ui_(ui) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("StatVTK - Справка"));
  browser_ = new QTextBrowser(this);
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    const QUrl target = browser_->source().resolved(url);
    if (target.isLocalFile()) {
      if (target.fileName() == browser_->source().fileName()) browser_->scrollToAnchor(target.fragment());
      else browser_->setSource(target, QTextDocument::MarkdownResource);
    } else {
      ui_.OpenExternally(target);
    }
  });
  browser_->setSource(QUrl::fromLocalFile(PathText(guide)), QTextDocument::MarkdownResource);
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(browser_);
  resize(760, 600);
}

}  // namespace statvtk::app
