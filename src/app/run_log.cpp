#include "app/run_log.hpp"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

#include "app/path_text.hpp"

namespace statvtk::app {

namespace {

constexpr std::size_t kKept = 100;
constexpr const char* kPrefix = "statvtk-";
constexpr const char8_t* kPrefix8 = u8"statvtk-";

// Removes the oldest run logs (their names sort by time) so that `keep` remain.
void Prune(const std::filesystem::path& folder, std::size_t keep) {
  std::error_code ec;
  std::vector<std::filesystem::path> runs;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    // As UTF-8: another file's name need not fit the system's code page.
    const std::u8string name = entry.path().filename().u8string();
    if (name.rfind(kPrefix8, 0) == 0 && entry.path().extension() == ".log") runs.push_back(entry.path());
  }
  if (runs.size() <= keep) return;
  std::sort(runs.begin(), runs.end());
  for (std::size_t i = 0; i + keep < runs.size(); ++i) std::filesystem::remove(runs[i], ec);
}

}  // namespace

std::string RunLogFileName(const std::tm& t) {
  char name[96];
  std::snprintf(name, sizeof name, "%s%.4d-%.2d-%.2d@%.2d-%.2d-%.2d.log", kPrefix, t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return name;
}

RunLog::RunLog(std::filesystem::path folder, const std::tm& started) : folder_(std::move(folder)), started_(started) {}

RunLog::~RunLog() = default;

QString RunLog::Open() {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  Prune(folder_, kKept - 1);
  // Two programs started in the same second on one home: each its own file.
  const std::string name = RunLogFileName(started_);
  for (int n = 1; n < 100; ++n) {
    path_ = folder_ / (n == 1 ? name : name.substr(0, name.size() - 4) + "_" + std::to_string(n) + ".log");
    file_ = std::make_unique<QFile>(PathText(path_));
    if (file_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) return {};
    if (file_->exists()) continue;
    break;
  }
  const QString why = file_->errorString();
  file_.reset();
  return QStringLiteral("Сообщения не записываются в ") + PathText(path_) + QStringLiteral(": ") + why;
}

QString RunLog::Append(const std::string& line) {
  if (failed_) return {};
  if (!file_) {
    if (QString why = Open(); !why.isEmpty()) {
      failed_ = true;
      return why;
    }
  }
  const std::string text = line + "\n";
  if (file_->write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
      !file_->flush()) {
    failed_ = true;
    return QStringLiteral("Сообщения не записываются в ") + PathText(path_) + QStringLiteral(": ") +
           file_->errorString();
  }
  return {};
}

}  // namespace statvtk::app
