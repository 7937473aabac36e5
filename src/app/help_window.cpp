// The help window.
#include "app/help_window.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
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
  for (const auto& p : places) {
    if (!std::filesystem::is_regular_file(p, ec)) continue;
    // With its drive: on Windows a "/…" path is only relative to the current
    // drive, and the help browser would not load it.
    auto whole = std::filesystem::absolute(p, ec);
    return ec ? p : whole;
  }
  return {};
}

QString HeadingAnchor(const QString& heading) {
  QString anchor;
  for (const QChar c : heading.trimmed().toLower()) {
    if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) anchor += c;
    else if (c == QLatin1Char(' ')) anchor += QLatin1Char('-');
  }
  return anchor;
}

namespace {

// Qt's Markdown gives headings no names: each gets the one links to it use.
void NameHeadings(QTextDocument& doc) {
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    if (b.blockFormat().headingLevel() == 0) continue;
    QTextCursor c(b);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    f.setAnchor(true);
    f.setAnchorNames({HeadingAnchor(b.text())});
    c.mergeCharFormat(f);
  }
}

}  // namespace

QStringList HelpWindow::Anchors() const {
  QStringList names;
  for (QTextBlock b = browser_->document()->begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it)
      if (it.fragment().charFormat().isAnchor()) names << it.fragment().charFormat().anchorNames();
  return names;
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
      if (target.fileName() == browser_->source().fileName()) {
        browser_->scrollToAnchor(target.fragment());
      } else {
        browser_->setSource(target, QTextDocument::MarkdownResource);
        NameHeadings(*browser_->document());
      }
    } else {
      ui_.OpenExternally(target);
    }
  });
  browser_->setSource(QUrl::fromLocalFile(PathText(guide)), QTextDocument::MarkdownResource);
  NameHeadings(*browser_->document());
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(browser_);
  // A laptop's small screen takes it whole, with its frame.
  QSize size(760, 600);
  if (const QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
  resize(size);
}

}  // namespace statvtk::app
