// Each run's messages kept as they come in the home's logs/ folder
// ("statvtk-YYYY-MM-DD@hh-mm-ss.log", made at the first message), so that
// they outlive the program; of these files only the newest 100 are kept.
// Saving the log window by hand ("stat61x-….log") is not touched.
#pragma once

#include <QString>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

class QFile;

namespace statvtk::app {

class RunLog {
 public:
  // `started`: the program's start (names the file).
  RunLog(std::filesystem::path folder, const std::tm& started);
  ~RunLog();

  // Appends one line. Empty when written; else why the file cannot be
  // written, once (later lines are dropped silently).
  QString Append(const std::string& line);
  // The file, once made.
  const std::filesystem::path& Path() const { return path_; }

 private:
  QString Open();

  std::filesystem::path folder_;
  std::tm started_;
  std::filesystem::path path_;
  std::unique_ptr<QFile> file_;
  bool failed_ = false;
};

// "statvtk-%.4d-%.2d-%.2d@%.2d-%.2d-%.2d.log".
std::string RunLogFileName(const std::tm& started);

}  // namespace statvtk::app
