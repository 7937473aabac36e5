#include "support/child_test_app.hpp"

#include <QDir>

#include <cstdlib>

#include "sim/expected_dump.hpp"
#include "sim/history.hpp"
#include "sim/memories.hpp"

namespace childtest {

int ScriptedUi::Count(const QString& kind) const {
  int n = 0;
  for (const auto& c : calls) n += c.kind == kind;
  return n;
}

TestApp::TestApp(const QString& name) {
  const char* env = std::getenv("STATVTK_HOME");
  const std::filesystem::path base = env && *env ? std::filesystem::path(env) : std::filesystem::temp_directory_path();
  home_ = base / ("children-" + name.toStdString());
  std::filesystem::remove_all(home_);
  std::filesystem::create_directories(home_);
  settings_ = std::make_unique<IniFile>(home_ / "StatVTK.ini");
  report.folder = home_ / "Reports";
  report.openWhenDone = true;
}

void TestApp::ProgressStep(int pos) {
  progressSteps.push_back(pos);
  if (onProgressStep) onProgressStep(pos);
}

bool TestApp::StartCurrentRefresh(CurrentChild& target) {
  ++refreshRequests;
  refreshTarget = &target;
  if (onRefresh) onRefresh(target);
  return refreshAccepted;
}

bool TestApp::LogHas(const QString& part) const {
  for (const auto& l : log)
    if (l.contains(part)) return true;
  return false;
}

StatData SimImage(DeviceType type, unsigned seed) {
  const auto now = static_cast<std::uint32_t>(CivilToDeviceTime(2024, 6, 14, 15, 42, 10));
  const sim::History h = sim::GenerateHistory(type, seed, now);
  return sim::ExpectedDump(type, sim::BuildMemories(h));
}

}  // namespace childtest
