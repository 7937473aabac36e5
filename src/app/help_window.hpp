// The help window: the user guide (docs/user-guide.md) shown with
// QTextBrowser's Markdown support; links outside the guide go to the desktop.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <filesystem>

class QTextBrowser;

namespace statvtk::app {

class UiSeam;

// Where the guide is: installed beside the program's share/doc, or in the
// source tree of a build; empty when not found.
std::filesystem::path UserGuidePath();

// The anchor a heading gets, as links in the guide write it (and GitHub
// makes it): lower case, blanks as "-", other punctuation dropped
// ("3. Чтение статистики" → "3-чтение-статистики").
QString HeadingAnchor(const QString& heading);

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  // A new help window over the guide; nullptr when the guide is missing.
  static HelpWindow* Make(UiSeam& ui, QWidget* owner);
  QTextBrowser* Browser() const { return browser_; }
  // The names of the guide's anchors (one per heading).
  QStringList Anchors() const;

 private:
  HelpWindow(UiSeam& ui, const std::filesystem::path& guide, QWidget* owner);
  UiSeam& ui_;
  QTextBrowser* browser_ = nullptr;
};

}  // namespace statvtk::app
