#include "collect/fleet/modem_figures.hpp"

#include <algorithm>
#include <ctime>

namespace statvtk::collect {

namespace {

int LocalDay(std::chrono::system_clock::time_point at) {
  const std::time_t t = std::chrono::system_clock::to_time_t(at);
  std::tm tm{};
  localtime_r(&t, &tm);
  return (tm.tm_year + 1900) * 1000 + tm.tm_yday;
}

}  // namespace

ModemFigure* ModemFigures::Of(const std::string& pool, const std::string& device) {
  for (auto& m : modems_)
    if (m.pool == pool && m.device == device) return &m;
  return nullptr;
}

void ModemFigures::Add(const std::string& pool, const std::string& device) {
  const std::scoped_lock lock(mutex_);
  if (Of(pool, device)) return;
  ModemFigure m;
  m.pool = pool;
  m.device = device;
  modems_.push_back(std::move(m));
}

void ModemFigures::KeepOnly(const std::vector<std::pair<std::string, std::string>>& poolDevices) {
  const std::scoped_lock lock(mutex_);
  std::erase_if(modems_, [&](const ModemFigure& m) {
    return std::find(poolDevices.begin(), poolDevices.end(), std::pair{m.pool, m.device}) == poolDevices.end();
  });
}

void ModemFigures::Call(const std::string& pool, const std::string& device, const std::string& outcome, bool connected,
                        double seconds, std::chrono::system_clock::time_point at) {
  const std::scoped_lock lock(mutex_);
  const int day = LocalDay(at);
  if (day != today_) {
    for (auto& m : modems_) m.callsToday = m.connectedToday = 0, m.secondsToday = 0;
    today_ = day;
  }
  ModemFigure* m = Of(pool, device);
  if (!m) return;
  ++m->calls[outcome];
  m->connectedSeconds += seconds;
  ++m->callsToday;
  if (connected) ++m->connectedToday;
  m->secondsToday += seconds;
}

void ModemFigures::SetAside(const std::string& pool, const std::string& device, bool aside, const std::string& why) {
  const std::scoped_lock lock(mutex_);
  if (ModemFigure* m = Of(pool, device)) {
    m->setAside = aside;
    m->setAsideWhy = aside ? why : std::string();
  }
}

std::vector<ModemFigure> ModemFigures::All() const {
  const std::scoped_lock lock(mutex_);
  std::vector<ModemFigure> out = modems_;
  if (LocalDay(std::chrono::system_clock::now()) != today_)
    for (auto& m : out) m.callsToday = m.connectedToday = 0, m.secondsToday = 0;
  return out;
}

}  // namespace statvtk::collect
