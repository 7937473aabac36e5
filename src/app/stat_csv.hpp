// "Экспорт CSV" of a statistics window: the current mode's archive, whole or
// only the periods shown, written where the user says (the report folder
// proposed), with the decimal mark of the user's locale.
#pragma once

class QWidget;

namespace statvtk {
class StatWindowModel;
}

namespace statvtk::app {

class AppServices;

// `shownOnly`: the selected day, days or months (every month when none is).
void ExportStatCsv(const StatWindowModel& window, bool shownOnly, AppServices& app, QWidget* parent);

}  // namespace statvtk::app
