// The collector's log: each line stamped as the other programs stamp theirs,
// on stderr (journald) and appended to logs/collect-YYYY-MM-DD.log; control
// characters and bytes that are not UTF-8 escaped as \xNN, one event a line.
#pragma once

#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>

namespace statvtk::collect {

class CollectLog {
 public:
  CollectLog(std::ostream& err, std::filesystem::path home) : err_(err), home_(std::move(home)) {}
  void Line(const std::string& text);

 private:
  std::mutex mutex_;
  std::ostream& err_;
  std::filesystem::path home_;
};

// A line stamped as the log's, appended to logs/NAME-YYYY-MM-DD.log of the
// home only (the HTTP access log: "http").
void AppendDailyLog(const std::filesystem::path& home, const std::string& name, const std::string& text);

}  // namespace statvtk::collect
