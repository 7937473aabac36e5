// The frame's file commands: New, Open, Save, the command-line file, dropped
// files and the recent-files list, with the folders they last used.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "stats/stat_file.hpp"

namespace statvtk::app {

struct FrameParts;
class ReadCommands;

class FileCommands {
 public:
  FileCommands(FrameParts& parts, ReadCommands& reads) : parts_(parts), reads_(reads) {}

  void NewFile();
  void OpenCommand();
  void SaveCommand();
  // Opens a statistics file; false when nothing opened (another extension,
  // or an error shown).
  bool OpenStatFile(const QString& path, ExtensionRule rule, bool* sizeError = nullptr);
  // Files dropped on the window, one after the other; a size error stops the rest.
  void OpenDropped(const QList<QUrl>& urls);
  // The file named by the first argument, if any.
  void OpenFromCommandLine(const QStringList& arguments);

 private:
  QString LastFolder(const char* key) const;
  void RememberFolder(const char* key, const QString& file);

  FrameParts& parts_;
  ReadCommands& reads_;
};

}  // namespace statvtk::app
