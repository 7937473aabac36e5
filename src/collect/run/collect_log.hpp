// The collector's logs: each line stamped as the other programs stamp theirs,
// control characters and bytes that are not UTF-8 escaped as \xNN, one event
// a line. The collector's own log goes to logs/collect-YYYY-MM-DD.log and to
// stderr, or under systemd to the journal with its fields (journal.hpp); the
// HTTP access log to logs/http-YYYY-MM-DD.log. Each keeps its day's file
// open, and a new day's file removes the files of its kind older than
// LogDays=.
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
#include <string_view>

#include "collect/fleet/log_fields.hpp"
#include "collect/run/journal.hpp"

namespace statvtk::collect {

// The line `text` is written as at `now`: stamped, escaped, ended.
std::string StampedLine(const std::tm& now, const std::string& text);

// One kind of daily log file, logs/NAME-YYYY-MM-DD.log of the home
// (thread-safe).
class DailyLog {
 public:
  DailyLog(std::filesystem::path home, std::string name, int keepDays)
      : home_(std::move(home)), name_(std::move(name)), keepDays_(keepDays) {}
  // Appends `line` (ended) to the file of `now`'s day; false when it could
  // not be written (the file is opened again with the next line).
  bool Write(const std::tm& now, std::string_view line);
  // `text` stamped now and appended.
  bool Line(const std::string& text);

 private:
  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::FILE* FileOf(const std::tm& now);

  std::mutex mutex_;
  std::filesystem::path home_;
  std::string name_;
  int keepDays_;
  std::string day_;  // the name of the open file
  std::unique_ptr<std::FILE, Close> file_;
};

// The collector's own log: every line carries the collector's origin; it
// goes to the journal when there is one (`journal`), else to `err`.
class CollectLog {
 public:
  CollectLog(std::ostream& err, std::filesystem::path home, int keepDays = 30, std::string origin = {},
             std::unique_ptr<JournalSink> journal = nullptr)
      : err_(err),
        file_(std::move(home), "collect", keepDays),
        origin_(std::move(origin)),
        journal_(std::move(journal)) {}
  void Line(const std::string& text, const LogFields& fields = {});
  // A log that writes here, nothing bound but the origin.
  LogTo To() {
    return LogTo([this](const std::string& text, const LogFields& fields) { Line(text, fields); });
  }
  // Lines that could not be written to the file (a full disk, a folder taken away).
  std::uint64_t WriteFailures() const { return failures_.load(); }

 private:
  std::mutex mutex_;  // a line reaches stderr and the file in the same order
  std::ostream& err_;
  DailyLog file_;
  std::string origin_;
  std::unique_ptr<JournalSink> journal_;
  std::atomic<std::uint64_t> failures_{0};
};

// Removes logs/NAME-YYYY-MM-DD.log files of days before `today` minus
// `keepDays` days; the number removed.
std::size_t RemoveOldLogs(const std::filesystem::path& folder, const std::tm& today, int keepDays,
                          const std::string& name = "collect");

}  // namespace statvtk::collect
