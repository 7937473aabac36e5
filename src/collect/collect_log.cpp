#include "collect/collect_log.hpp"

#include <cstdio>
#include <fstream>

#include "base/local_time.hpp"
#include "base/printable_text.hpp"
#include "base/program_home.hpp"
#include "reports/message_log.hpp"

namespace statvtk::collect {

void CollectLog::Line(const std::string& text) {
  const std::tm now = LocalNow();
  // One event, one line: a control character in the text (a serial number
  // or identification from the instrument may hold any byte) is escaped, so
  // that it can neither forge a line of the journal nor reach a terminal.
  const std::string line = LogStampText(now) + PrintableText(text);
  std::lock_guard lock(mutex_);
  err_ << line << '\n';
  err_.flush();
  char name[64];
  std::snprintf(name, sizeof name, "collect-%04d-%02d-%02d.log", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  std::error_code ec;
  std::filesystem::create_directories(LogsFolder(home_), ec);
  std::ofstream out(LogsFolder(home_) / name, std::ios::app | std::ios::binary);
  out << line << '\n';
}

void AppendDailyLog(const std::filesystem::path& home, const std::string& name, const std::string& text) {
  static std::mutex mutex;
  const std::tm now = LocalNow();
  char file[96];
  std::snprintf(file, sizeof file, "%s-%04d-%02d-%02d.log", name.c_str(), now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday);
  const std::scoped_lock lock(mutex);
  std::error_code ec;
  std::filesystem::create_directories(LogsFolder(home), ec);
  std::ofstream out(LogsFolder(home) / file, std::ios::app | std::ios::binary);
  out << LogStampText(now) << PrintableText(text) << '\n';
}

}  // namespace statvtk::collect
