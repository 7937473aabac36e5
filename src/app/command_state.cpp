#include "app/command_state.hpp"

namespace statvtk::app {

CommandState DecideCommands(ActiveChild child, Activity activity, bool deviceKnown) {
  CommandState c;
  // One job at a time, and no statistics read beside polling: a poll would
  // start its next read in the middle of it.
  c.read = activity == Activity::Idle;
  c.readTek = activity == Activity::Idle;
  c.stop = activity != Activity::Idle;
  c.scan = activity == Activity::Idle;
  const bool stat = child == ActiveChild::Statistics || child == ActiveChild::LoadedStatistics;
  c.save = stat;
  c.exportReport = stat;
  c.techInfo = child == ActiveChild::LoadedStatistics || deviceKnown;
  return c;
}

}  // namespace statvtk::app
