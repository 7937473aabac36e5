// Message log lines and log files.
#include "reports/message_log.hpp"

#include <cstdio>
#include <system_error>

#include "base/printable_text.hpp"
#include "base/program_home.hpp"
#include "reports/file_io.hpp"

namespace statvtk {

std::string LogStampText(const std::tm& when) {
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "[%.2d.%.2d.%.4d %.2d:%.2d:%.2d]  ", when.tm_mday, when.tm_mon + 1,
                when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
  return stamp;
}

std::string LogLineText(const std::string& text, const std::tm& when) {
  if (text.empty()) return {};
  return LogStampText(when) + text;
}

std::string ProposedLogFileName(const std::tm& when) {
  char name[96];
  std::snprintf(name, sizeof name, "stat61x-%.4d-%.2d-%.2d@%.2d-%.2d.log", when.tm_year + 1900, when.tm_mon + 1,
                when.tm_mday, when.tm_hour, when.tm_min);
  return name;
}

std::filesystem::path ProposedLogPath(const std::filesystem::path& home, const std::tm& when) {
  const auto folder = LogsFolder(home);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);  // a failure leaves the proposal as it is
  return folder / ProposedLogFileName(when);
}

void MessageLog::AddMessage(const std::string& text) { AddMessageAt(text, LocalNow()); }

void MessageLog::AddMessageAt(const std::string& text, const std::tm& when) {
  // Text from an instrument never puts a control character into the log.
  if (!text.empty()) lines_.push_back(LogLineText(LogSafeText(text), when));
}

Result<void> MessageLog::SaveTo(const std::filesystem::path& path) const {
  std::string body;
  for (const auto& l : lines_) body += l + "\n";
  Result<void> saved = WriteFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(body.data()), body.size()});
  if (!saved) saved.error().reason = "Не удалось сохранить протокол: " + saved.error().reason;
  return saved;
}

}  // namespace statvtk
