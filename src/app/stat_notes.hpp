// The notes under a statistics window: how many records it holds of each
// kind, how many look damaged and how many failed their checks.
#pragma once

#include <QString>

namespace statvtk {
class StatModel;
}

namespace statvtk::app {

// "Записей: часовых 120, суточных 0, месячных 0".
QString HeldRecordsText(const StatModel& model);
// How many records have impossible values, as a warning; empty when none do.
QString DamagedRecordsText(const StatModel& model);
// The records left out (bad checksum or date), by kind; empty when none are.
QString LeftOutRecordsText(const StatModel& model);

}  // namespace statvtk::app
