// "О программе": the program's name and version, a picture, the licence
// agreement, the maker line and two links opened through the desktop.
#pragma once

#include <QDialog>

class QLabel;

namespace statvtk::app {

class UiSeam;

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(UiSeam& ui, QWidget* parent = nullptr);
  QLabel* Title() const { return title_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* Link(const QString& url, const QString& text);

  UiSeam& ui_;
  QLabel* title_ = nullptr;
};

}  // namespace statvtk::app
