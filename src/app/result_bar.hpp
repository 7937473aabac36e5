// The result bar at the right of the status bar: after a read, a report or an
// export has written a file, "Открыть файл" and "Открыть папку" hand it (or
// its folder) to the desktop, without a look into "Сообщения". A run that
// failed is said here in red, beside the file of what it read before.
#pragma once

#include <QWidget>
#include <filesystem>

class QLabel;
class QToolButton;

namespace statvtk::app {

class UiSeam;

class ResultBar : public QWidget {
  Q_OBJECT
 public:
  ResultBar(UiSeam& ui, QWidget* parent = nullptr);

  // Offers `file`; its path is the buttons' tool tip.
  void Offer(const std::filesystem::path& file);
  // Says that a run failed (`text`, shortened to fit, whole in its tool tip);
  // a file offered before stays offered.
  void ShowFailure(const QString& text);
  void Clear();
  const std::filesystem::path& File() const { return file_; }
  bool Failed() const { return !failure_.isEmpty(); }
  const QString& FailureText() const { return failure_; }
  QLabel* Message() const { return message_; }

  QToolButton* OpenFileButton() const { return openFile_; }
  QToolButton* OpenFolderButton() const { return openFolder_; }

 private:
  void Open(const std::filesystem::path& path);

  UiSeam& ui_;
  void Refresh();

  std::filesystem::path file_;
  QString failure_;
  QLabel* icon_ = nullptr;
  QLabel* message_ = nullptr;
  QToolButton* openFile_ = nullptr;
  QToolButton* openFolder_ = nullptr;
};

}  // namespace statvtk::app
