// The result bar at the right of the status bar: after a read, a report or an
// export has written a file, "Открыть файл" and "Открыть папку" hand it (or
// its folder) to the desktop, without a look into "Сообщения".
#pragma once

#include <QWidget>
#include <filesystem>

class QToolButton;

namespace statvtk::app {

class UiSeam;

class ResultBar : public QWidget {
  Q_OBJECT
 public:
  ResultBar(UiSeam& ui, QWidget* parent = nullptr);

  // Offers `file`; its path is the buttons' tool tip.
  void Offer(const std::filesystem::path& file);
  void Clear();
  const std::filesystem::path& File() const { return file_; }

  QToolButton* OpenFileButton() const { return openFile_; }
  QToolButton* OpenFolderButton() const { return openFolder_; }

 private:
  void Open(const std::filesystem::path& path);

  UiSeam& ui_;
  std::filesystem::path file_;
  QToolButton* openFile_ = nullptr;
  QToolButton* openFolder_ = nullptr;
};

}  // namespace statvtk::app
