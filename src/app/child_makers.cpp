// The makers the main window calls to create its child windows.
#include "app/app_services.hpp"
#include "app/child_windows.hpp"
#include "app/current_window.hpp"
#include "app/events_window.hpp"
#include "app/situations_window.hpp"
#include "app/stat_window.hpp"
#include "app/tech_info_window.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::app {

StatChild* MakeStatChild(DeviceType type, AppServices& app) {
  if (type == DeviceType::dtUnknown) return nullptr;
  return new StatWindow(type, app);
}

CurrentChild* MakeCurrentChild(AppServices& app) { return new CurrentWindow(app); }

QWidget* MakeEventsWindow(const StatChild& stat, AppServices& app) {
  const auto model = MakeStatModel(stat.Data());
  return new EventsWindow(model ? model->Events() : EventTable{}, app);
}

QWidget* MakeSituationsWindow(StatChild& stat, AppServices& app) { return new SituationsWindow(stat, app); }

QWidget* MakeTechInfoWindow(std::span<const std::uint8_t> header, DeviceType type, AppServices& app) {
  return new TechInfoWindow(header, type, app);
}

}  // namespace statvtk::app
