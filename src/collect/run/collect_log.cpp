#include "collect/run/collect_log.hpp"

#include "base/local_time.hpp"
#include "base/printable_text.hpp"
#include "base/program_home.hpp"
#include "reports/message_log.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

std::string LogName(const std::string& name, int year, int month, int day) {
  char date[32];
  std::snprintf(date, sizeof date, "-%04d-%02d-%02d.log", year, month, day);
  return name + date;
}

}  // namespace

std::string StampedLine(const std::tm& now, const std::string& text) {
  // One event, one line: a control character in the text (a serial number
  // or identification from the instrument may hold any byte) is escaped, so
  // that it can neither forge a line of the journal nor reach a terminal.
  return LogStampText(now) + PrintableText(text) + "\n";
}

std::size_t RemoveOldLogs(const std::filesystem::path& folder, const std::tm& today, int keepDays,
                          const std::string& name) {
  const long first = store::DaysFromCivil(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday) - keepDays + 1;
  const std::string prefix = name + "-";
  std::size_t removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    int y = 0, m = 0, d = 0;
    char tail[8] = {};
    if (!file.starts_with(prefix) || file.size() != prefix.size() + 14 ||
        std::sscanf(file.c_str() + prefix.size(), "%4d-%2d-%2d%4s", &y, &m, &d, tail) != 4 ||
        std::string(tail) != ".log" || file != LogName(name, y, m, d))
      continue;
    std::error_code rm;
    if (store::DaysFromCivil(y, m, d) < first && std::filesystem::remove(entry.path(), rm)) ++removed;
  }
  return removed;
}

std::FILE* DailyLog::FileOf(const std::tm& now) {
  const std::string name = LogName(name_, now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  if (file_ && name == day_) return file_.get();
  file_.reset();
  const std::filesystem::path folder = LogsFolder(home_);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  file_.reset(std::fopen((folder / name).c_str(), "ab"));
  if (!file_) return nullptr;
  // A new day: the days beyond LogDays= go.
  if (day_ != name) RemoveOldLogs(folder, now, keepDays_, name_);
  day_ = name;
  return file_.get();
}

bool DailyLog::Write(const std::tm& now, std::string_view line) {
  std::lock_guard lock(mutex_);
  std::FILE* f = FileOf(now);
  if (!f || std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fflush(f) != 0) {
    file_.reset();  // opened again with the next line (the folder may be back)
    return false;
  }
  return true;
}

bool DailyLog::Line(const std::string& text) {
  const std::tm now = LocalNow();
  return Write(now, StampedLine(now, text));
}

void CollectLog::Line(const std::string& text, const LogFields& fields) {
  const std::tm now = LocalNow();
  const std::string line = StampedLine(now, text);
  LogFields all = fields;
  if (all.origin.empty()) all.origin = origin_;
  // A warning the words give ("ВНИМАНИЕ: ...") when its event does not.
  LogPriority priority = PriorityOf(all.event);
  if (priority == LogPriority::Info && text.find("ВНИМАНИЕ") != std::string::npos) priority = LogPriority::Warning;
  std::lock_guard lock(mutex_);
  if (!journal_ || !journal_->Send(priority, text, all)) {
    err_ << line;
    err_.flush();
  }
  if (!file_.Write(now, line)) ++failures_;
}

}  // namespace statvtk::collect
