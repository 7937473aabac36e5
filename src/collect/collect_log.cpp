#include "collect/collect_log.hpp"

#include <fstream>

#include "base/local_time.hpp"
#include "base/printable_text.hpp"
#include "base/program_home.hpp"
#include "reports/message_log.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

std::string LogName(int year, int month, int day) {
  char name[64];
  std::snprintf(name, sizeof name, "collect-%04d-%02d-%02d.log", year, month, day);
  return name;
}

}  // namespace

std::size_t RemoveOldLogs(const std::filesystem::path& folder, const std::tm& today, int keepDays) {
  const long first = store::DaysFromCivil(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday) - keepDays + 1;
  std::size_t removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    int y = 0, m = 0, d = 0;
    char tail[8] = {};
    if (name.size() != 22 || std::sscanf(name.c_str(), "collect-%4d-%2d-%2d%4s", &y, &m, &d, tail) != 4 ||
        std::string(tail) != ".log" || name != LogName(y, m, d))
      continue;
    std::error_code rm;
    if (store::DaysFromCivil(y, m, d) < first && std::filesystem::remove(entry.path(), rm)) ++removed;
  }
  return removed;
}

std::FILE* CollectLog::FileOf(const std::tm& now) {
  const std::string name = LogName(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  if (file_ && name == day_) return file_.get();
  file_.reset();
  const std::filesystem::path folder = LogsFolder(home_);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  file_.reset(std::fopen((folder / name).c_str(), "ab"));
  if (!file_) return nullptr;
  // A new day: the days beyond LogDays= go.
  if (day_ != name) RemoveOldLogs(folder, now, keepDays_);
  day_ = name;
  return file_.get();
}

void CollectLog::Line(const std::string& text) {
  const std::tm now = LocalNow();
  // One event, one line: a control character in the text (a serial number
  // or identification from the instrument may hold any byte) is escaped, so
  // that it can neither forge a line of the journal nor reach a terminal.
  const std::string line = LogStampText(now) + PrintableText(text) + "\n";
  std::lock_guard lock(mutex_);
  err_ << line;
  err_.flush();
  std::FILE* f = FileOf(now);
  if (!f || std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fflush(f) != 0) {
    ++failures_;
    file_.reset();  // opened again with the next line (the folder may be back)
  }
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
