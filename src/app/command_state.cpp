#include "app/command_state.hpp"

namespace statvtk::app {

CommandState DecideCommands(ActiveChild child, Activity activity, bool deviceKnown, bool asking) {
  CommandState c;
  // One job at a time, and no statistics read beside polling: a poll would
  // start its next read in the middle of it. While the read parameters are
  // asked, a read is on its way: nothing else may take the line.
  const bool free = activity == Activity::Idle && !asking;
  c.read = free;
  c.readTek = free;
  c.check = free;
  c.stop = activity != Activity::Idle;
  c.scan = free;
  const bool stat = child == ActiveChild::Statistics || child == ActiveChild::LoadedStatistics;
  c.save = stat;
  c.exportReport = stat;
  c.techInfo = child == ActiveChild::LoadedStatistics || deviceKnown;
  c.situations = child == ActiveChild::LoadedStatistics;
  return c;
}

}  // namespace statvtk::app
