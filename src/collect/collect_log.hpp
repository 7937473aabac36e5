// The collector's log: each line stamped as the other programs stamp theirs,
// on stderr (journald) and appended to logs/collect-YYYY-MM-DD.log, the day's
// file kept open; control characters and bytes that are not UTF-8 escaped as
// \xNN, one event a line. A new day's file removes those older than LogDays=.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

namespace statvtk::collect {

class CollectLog {
 public:
  CollectLog(std::ostream& err, std::filesystem::path home, int keepDays = 30)
      : err_(err), home_(std::move(home)), keepDays_(keepDays) {}
  void Line(const std::string& text);
  // Lines that could not be written to the file (a full disk, a folder taken away).
  std::uint64_t WriteFailures() const { return failures_.load(); }

 private:
  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::FILE* FileOf(const std::tm& now);

  std::mutex mutex_;
  std::ostream& err_;
  std::filesystem::path home_;
  int keepDays_;
  std::string day_;  // the name of the open file
  std::unique_ptr<std::FILE, Close> file_;
  std::atomic<std::uint64_t> failures_{0};
};

// A line stamped as the log's, appended to logs/NAME-YYYY-MM-DD.log of the
// home only (the HTTP access log: "http").
void AppendDailyLog(const std::filesystem::path& home, const std::string& name, const std::string& text);

// Removes logs/collect-YYYY-MM-DD.log files of days before `today` minus
// `keepDays` days; the number removed.
std::size_t RemoveOldLogs(const std::filesystem::path& folder, const std::tm& today, int keepDays);

}  // namespace statvtk::collect
