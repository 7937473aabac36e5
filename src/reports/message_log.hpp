// The message log: time-stamped lines "[DD.MM.YYYY hh:mm:ss]  text", the
// proposed log file name and saving the lines to a text file.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/local_time.hpp"

namespace statvtk {

// "[" + "DD.MM.YYYY hh:mm:ss" + "]  " + text; "" for an empty text.
std::string LogLineText(const std::string& text, const std::tm& when);
// The stamp a log line begins with: "[DD.MM.YYYY hh:mm:ss]  ".
std::string LogStampText(const std::tm& when);

// "stat61x-%.4d-%.2d-%.2d@%.2d-%.2d.log" of the given local time.
std::string ProposedLogFileName(const std::tm& when);
// The proposal inside the program home's logs/ folder (created when missing;
// a failure to create it leaves the proposal as it is).
std::filesystem::path ProposedLogPath(const std::filesystem::path& home, const std::tm& when);

class MessageLog {
 public:
  // Appends one line stamped with the current local time; an empty text adds nothing.
  void AddMessage(const std::string& text);
  void AddMessageAt(const std::string& text, const std::tm& when);
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  // Writes all lines, one per text line, atomically; the error says
  // "Не удалось сохранить протокол: " and why.
  Result<void> SaveTo(const std::filesystem::path& path) const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace statvtk
